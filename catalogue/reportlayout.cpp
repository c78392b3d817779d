#include "catalogue/reportlayout.h"

#include "store/engine/schema.h"
#include "store/records/formats.h"
#include "ui/displayformats.h"

#include <QLocale>

#include <utility>

namespace {

const QString Emblem = QStringLiteral(":/assets/emblem.svg");

// The faces the reports name, each followed by free faces that stand in for
// it on a machine without it.
ReportFont arial(double points, bool bold = false, bool italic = false)
{
    return {{QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")},
            points, bold, italic};
}

ReportFont britannicBold(double points)
{
    return {{QStringLiteral("Britannic Bold"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")},
            points, true, false};
}

ReportFont centaur(double points)
{
    return {{QStringLiteral("Centaur"), QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif")},
            points, false, false};
}

ReportItem label(const QString &text, QRectF rect, ReportFont font)
{
    ReportItem item;
    item.kind = ReportItem::Label;
    item.rect = rect;
    item.text = text;
    item.font = std::move(font);
    return item;
}

ReportItem fieldBox(const QString &field, QRectF rect, ReportFont font)
{
    ReportItem item;
    item.kind = ReportItem::Field;
    item.rect = rect;
    item.field = field;
    item.font = std::move(font);
    return item;
}

ReportItem horizontalRule(double x, double y, double length)
{
    ReportItem item;
    item.kind = ReportItem::Rule;
    item.rect = QRectF(x, y, length, 0);
    return item;
}

ReportItem verticalRule(double x, double y, double length)
{
    ReportItem item;
    item.kind = ReportItem::Rule;
    item.rect = QRectF(x, y, 0, length);
    return item;
}

ReportItem frame(QRectF rect)
{
    ReportItem item;
    item.kind = ReportItem::Frame;
    item.rect = rect;
    return item;
}

ReportItem picture(QRectF rect)
{
    ReportItem item;
    item.kind = ReportItem::Picture;
    item.rect = rect;
    item.text = Emblem;
    return item;
}

// Both report headers: the emblem in the picture area, the institution and,
// below it, the program. Only the positions differ between the reports.
ReportBand reportHeader(double height, QPointF pictureAt, QPointF institutionAt, QPointF programAt)
{
    ReportBand band;
    band.kind = ReportBand::ReportHeader;
    band.height = height;
    band.items << picture(QRectF(pictureAt, QSizeF(1.0, 0.9)))
               << label(QStringLiteral("Corvantis"), QRectF(institutionAt, QSizeF(4.0, 0.22)), arial(14, true))
               << label(QStringLiteral("Tallymere 1.0"), QRectF(programAt, QSizeF(3.0, 0.2)),
                        arial(10, false, true));
    return band;
}

ReportBand emptyBand(ReportBand::Kind kind, double height)
{
    ReportBand band;
    band.kind = kind;
    band.height = height;
    return band;
}

} // namespace

const ReportItem *ReportBand::label(const QString &text) const
{
    for (const ReportItem &item : items)
        if (item.kind == ReportItem::Label && item.text == text)
            return &item;
    return nullptr;
}

const ReportItem *ReportBand::fieldBox(const QString &field) const
{
    for (const ReportItem &item : items)
        if (item.kind == ReportItem::Field && item.field == field)
            return &item;
    return nullptr;
}

QList<const ReportItem *> ReportBand::itemsOfKind(ReportItem::Kind kind) const
{
    QList<const ReportItem *> found;
    for (const ReportItem &item : items)
        if (item.kind == kind)
            found << &item;
    return found;
}

QPageSize ReportLayout::defaultPaper()
{
    return QPageSize(QLocale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                               : QPageSize::A4);
}

ReportLayout ReportLayout::catalogue()
{
    ReportLayout layout;
    layout.name = QStringLiteral("DataReport1");
    layout.table = Schema::books().name;
    layout.dateFields = Schema::books().dateFields;

    ReportBand pageHeader;
    pageHeader.kind = ReportBand::PageHeader;
    pageHeader.height = 1.04;
    pageHeader.items << horizontalRule(0.1, 0.1, 5.8)
                     << label(QStringLiteral("Book Details"), QRectF(1.0, 0.3, 3.0, 0.3), arial(14, true))
                     << horizontalRule(0.1, 0.7, 5.8);

    // Label and field of each row, top to bottom.
    const std::pair<const char *, const char *> rows[] = {
        {"Book Number", "BookNumber"},
        {"Date Recieved", "Date received"},
        {"Classification", "Classification"},
        {"Author", "Author"},
        {"Title", "Title"},
        {"Edition", "Edition"},
        {"Volume", "Vol"},
        {"Pages", "Pages"},
        {"Source of Fund", "Source of Fund"},
        {"Cost", "Cost or            (in Peso)"},
        {"Price", "Price              (in Dollar)"},
        {"Publisher", "Publisher"},
        {"Year", "Year"},
        {"Remarks", "Remarks"},
        {"ISBN", "ISBN"},
    };
    ReportBand detail;
    detail.kind = ReportBand::Detail;
    detail.height = 5.2;
    double top = 0.7;
    for (const auto &[text, field] : rows) {
        detail.items << label(QString::fromLatin1(text), QRectF(0.3, top, 1.35, 0.25), arial(10))
                     << fieldBox(QString::fromLatin1(field), QRectF(1.7, top, 3.3, 0.25), britannicBold(10));
        top += 0.3;
    }

    ReportBand pageFooter;
    pageFooter.kind = ReportBand::PageFooter;
    pageFooter.height = 0.4;
    pageFooter.items << horizontalRule(0.1, 0.1, 3.0);

    layout.bands << reportHeader(1.2, {0.2, 0.1}, {1.3, 0.2}, {1.9, 0.4}) << pageHeader << detail << pageFooter
                 << emptyBand(ReportBand::ReportFooter, 0.375);
    return layout;
}

ReportLayout ReportLayout::loans()
{
    ReportLayout layout;
    layout.name = QStringLiteral("DataReport2");
    layout.table = Schema::borrower().name;
    layout.dateFields = Schema::borrower().dateFields;

    const std::pair<const char *, const char *> rows[] = {
        {"Accession Number", "AccessionNumber"},
        {"Book Number", "BookNumber"},
        {"Book Title", "BookTitle"},
        {"Category", "Category"},
        {"Borrower", "Borrower"},
        {"Date Borrowed", "DateBorrowed"},
        {"Remarks", "Remarks"},
        {"Date Returned", "DateReturned"},
    };
    // A table 4.8 x 2.6 at (0.2, 0.1): labels left of the rule at 2.0, values
    // right of it. The rows stand 0.3 apart from 0.3; each horizontal rule
    // closes a row, so the first row also takes the 0.2 above it.
    ReportBand detail;
    detail.kind = ReportBand::Detail;
    detail.height = 7.08;
    const QRectF table(0.2, 0.1, 4.8, 2.6);
    detail.items << frame(table) << verticalRule(2.0, table.top(), table.height());
    double top = 0.3;
    for (const auto &[text, field] : rows) {
        detail.items << label(QString::fromLatin1(text), QRectF(0.4, top, 1.5, 0.3), centaur(10))
                     << fieldBox(QString::fromLatin1(field), QRectF(2.3, top, 2.6, 0.3), arial(10));
        top += 0.3;
        if (top < table.bottom() - 0.01)
            detail.items << horizontalRule(table.left(), top, table.width());
    }

    layout.bands << reportHeader(1.1, {0.3, 0.1}, {1.4, 0.3}, {2.0, 0.5})
                 << emptyBand(ReportBand::PageHeader, 0) << detail << emptyBand(ReportBand::PageFooter, 0.5)
                 << emptyBand(ReportBand::ReportFooter, 1.5625);
    return layout;
}

const ReportBand &ReportLayout::band(ReportBand::Kind kind) const
{
    for (const ReportBand &b : bands)
        if (b.kind == kind)
            return b;
    static const ReportBand none;
    return none;
}

QStringList ReportLayout::fields() const
{
    QStringList names;
    for (const ReportItem *item : band(ReportBand::Detail).itemsOfKind(ReportItem::Field))
        names << item->field;
    return names;
}

QString ReportLayout::displayText(const QString &field, const QVariant &value) const
{
    if (value.isNull())
        return {};
    if (dateFields.contains(field)) {
        const QString shown = Shown::date(Formats::fromIso(value));
        if (!shown.isEmpty())
            return shown;
    }
    return value.toString();
}

QList<PlacedBand> ReportLayout::placeBands(int page, int rows, double paperHeight) const
{
    QList<PlacedBand> placed;
    const int pages = pageCount(rows);
    const ReportBand &footer = band(ReportBand::PageFooter);
    const double footerTop = paperHeight - margin - footer.height;
    double top = margin;
    auto place = [&](ReportBand::Kind kind) {
        const ReportBand &b = band(kind);
        placed.append({&b, top});
        top += b.height;
    };
    if (page == 0)
        place(ReportBand::ReportHeader);
    place(ReportBand::PageHeader);
    if (rows > 0)
        place(ReportBand::Detail);
    if (page == pages - 1 && top + band(ReportBand::ReportFooter).height <= footerTop + 1e-9)
        place(ReportBand::ReportFooter);
    placed.append({&footer, footerTop});
    return placed;
}
