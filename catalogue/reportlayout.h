#pragma once

#include <QHash>
#include <QList>
#include <QPageSize>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVariant>

// The printed reports as data: bands of labels, field boxes, rules and
// pictures, every position and size in inches from its band's top left
// corner. ReportPainter draws a page of it; nothing here paints.

// How an item's text prints: the families in order of preference (the first
// is the one the report names, the rest stand in where it is missing).
struct ReportFont {
    QStringList families;
    double points = 10;
    bool bold = false;
    bool italic = false;
};

struct ReportItem {
    enum Kind {
        Label,   // prints `text`
        Field,   // prints the value of `field` of the page's row
        Rule,    // a line along `rect`, whose height (or width) is 0
        Frame,   // a rectangle drawn round `rect`
        Picture, // the SVG resource `text`, kept in proportion inside `rect`
    };

    Kind kind = Label;
    QRectF rect;
    QString text;
    QString field;
    ReportFont font;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

struct ReportBand {
    enum Kind { ReportHeader, PageHeader, Detail, PageFooter, ReportFooter };

    Kind kind = Detail;
    double height = 0; // inches
    QList<ReportItem> items;

    // The first label printing `text`, or the field box of `field`;
    // nullptr when the band has none.
    const ReportItem *label(const QString &text) const;
    const ReportItem *fieldBox(const QString &field) const;
    QList<const ReportItem *> itemsOfKind(ReportItem::Kind kind) const;
};

// A band as it stands on one page: its top edge in inches from the paper's
// top edge (its left edge is the report's left margin).
struct PlacedBand {
    const ReportBand *band = nullptr;
    double top = 0;
};

// The values of one row, by field name.
using ReportRecord = QHash<QString, QVariant>;

class ReportLayout
{
public:
    // DataReport1: every book of `books`, one per page.
    static ReportLayout catalogue();
    // DataReport2: every loan of `tblBorrower`, one per page.
    static ReportLayout loans();

    // Letter where the locale measures in US units, A4 elsewhere.
    static QPageSize defaultPaper();

    QString name;     // "DataReport1"; the preview's title
    QString table;    // the table the rows come from
    double margin = 1.0; // inches, on every side
    QPageSize paper = defaultPaper();
    QList<ReportBand> bands; // report header, page header, detail, page footer, report footer
    QStringList dateFields;  // stored as ISO yyyy-MM-dd text, printed as short dates

    const ReportBand &band(ReportBand::Kind kind) const;
    // The detail's field names, top to bottom: what a page reads of its row.
    QStringList fields() const;
    // What the field box of `field` prints for `value`: nothing for a NULL,
    // a short date for a date field, otherwise the text.
    QString displayText(const QString &field, const QVariant &value) const;

    // One page per row; a table without rows still gives one page (its
    // headers and footers, no detail band).
    static int pageCount(int rows) { return rows > 0 ? rows : 1; }
    // The bands of page `page` (0-based) of a report of `rows` rows, top to
    // bottom, on paper `paperHeight` inches high: the report header on the
    // first page only, the page header, the page's detail band (none when
    // there are no rows), the report footer on the last page where it fits
    // above the page footer (it is empty in both reports, so it never adds
    // a page of its own), and the page footer at the bottom margin.
    QList<PlacedBand> placeBands(int page, int rows, double paperHeight) const;
};
