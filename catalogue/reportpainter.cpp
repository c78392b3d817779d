#include "catalogue/reportpainter.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QSvgRenderer>

namespace {

// Rules print about 0.7 point wide, and never thinner than one device unit
// so that they stay visible on a small preview.
constexpr double RuleWidth = 0.01; // inches

QFont fontFor(const ReportFont &style, const PageFrame &frame, const QPaintDevice *device)
{
    QFont font;
    font.setFamilies(style.families);
    // Points are measured against the device's own resolution, so scale
    // them by the frame's inches instead (the preview's zoom).
    const int deviceDpi = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 72;
    font.setPointSizeF(style.points * frame.dotsPerInch / deviceDpi);
    font.setBold(style.bold);
    font.setItalic(style.italic);
    return font;
}

} // namespace

ReportPainter::ReportPainter(const ReportLayout &layout)
    : m_layout(layout)
{
}

ReportPainter::~ReportPainter() = default;

void ReportPainter::paintPage(QPainter &painter, const PageFrame &frame, int page, int rows,
                              const ReportRecord &record) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const ReportRecord none;
    for (const PlacedBand &placed : m_layout.placeBands(page, rows, frame.paper.height())) {
        const QPointF bandOrigin(frame.origin.x() + m_layout.margin * frame.dotsPerInch,
                                 frame.origin.y() + placed.top * frame.dotsPerInch);
        const bool detail = placed.band->kind == ReportBand::Detail;
        for (const ReportItem &item : placed.band->items)
            paintItem(painter, frame, bandOrigin, item, detail ? record : none);
    }
    painter.restore();
}

void ReportPainter::paintItem(QPainter &painter, const PageFrame &frame, QPointF bandOrigin,
                              const ReportItem &item, const ReportRecord &record) const
{
    const double dpi = frame.dotsPerInch;
    const QRectF rect(bandOrigin + item.rect.topLeft() * dpi, item.rect.size() * dpi);
    switch (item.kind) {
    case ReportItem::Rule:
    case ReportItem::Frame: {
        QPen pen(Qt::black, qMax(RuleWidth * dpi, 1.0));
        pen.setCapStyle(Qt::SquareCap);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        if (item.kind == ReportItem::Rule)
            painter.drawLine(rect.topLeft(), rect.bottomRight());
        else
            painter.drawRect(rect);
        break;
    }
    case ReportItem::Picture:
        if (QSvgRenderer *svg = renderer(item.text)) {
            QSizeF size = svg->defaultSize();
            size.scale(rect.size(), Qt::KeepAspectRatio);
            QRectF target(QPointF(), size);
            target.moveCenter(rect.center());
            svg->render(&painter, target);
        }
        break;
    case ReportItem::Label:
    case ReportItem::Field: {
        QString text = item.kind == ReportItem::Label ? item.text
                                                      : m_layout.displayText(item.field, record.value(item.field));
        for (QChar &c : text)
            if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'))
                c = QLatin1Char(' ');
        if (text.isEmpty())
            break;
        painter.setFont(fontFor(item.font, frame, painter.device()));
        painter.setPen(Qt::black);
        // One line per box: a long value ends in an ellipsis instead of
        // running into the next item.
        const QFontMetricsF metrics(painter.font(), painter.device());
        const QString shown = metrics.elidedText(text, Qt::ElideRight, rect.width());
        painter.drawText(rect, int(item.alignment) | Qt::TextSingleLine | Qt::TextDontClip, shown);
        break;
    }
    }
}

QSvgRenderer *ReportPainter::renderer(const QString &resource) const
{
    auto it = m_renderers.find(resource);
    if (it == m_renderers.end())
        it = m_renderers.insert(resource, std::make_shared<QSvgRenderer>(resource));
    return it.value()->isValid() ? it.value().get() : nullptr;
}
