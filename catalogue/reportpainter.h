#pragma once

#include "catalogue/reportlayout.h"

#include <QHash>
#include <QPointF>
#include <QSizeF>

#include <memory>

class QPainter;
class QSvgRenderer;

// Where a page goes on a paint device: the paper's top left corner in the
// painter's coordinates, how many of its units make an inch, and the
// paper's size in inches.
struct PageFrame {
    QPointF origin;
    double dotsPerInch = 96;
    QSizeF paper;
};

// Draws pages of a report layout on any paint device: a preview widget, a
// QPrinter or a QPdfWriter. Page n of the report shows row n.
class ReportPainter
{
public:
    explicit ReportPainter(const ReportLayout &layout);
    ~ReportPainter();

    // Paints page `page` (0-based) of a report of `rows` rows; `record`
    // holds the values of row `page` (unused when `rows` is 0). The
    // painter's state is left as it was.
    void paintPage(QPainter &painter, const PageFrame &frame, int page, int rows, const ReportRecord &record) const;

private:
    void paintItem(QPainter &painter, const PageFrame &frame, QPointF bandOrigin, const ReportItem &item,
                   const ReportRecord &record) const;
    QSvgRenderer *renderer(const QString &resource) const;

    const ReportLayout m_layout;
    mutable QHash<QString, std::shared_ptr<QSvgRenderer>> m_renderers;
};
