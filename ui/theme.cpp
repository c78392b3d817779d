#include "ui/theme.h"

#include <QWidget>

namespace Theme {

namespace {
const QString Face = QStringLiteral("Tahoma");
const QString Fallback = QStringLiteral("DejaVu Sans");

QString css(const QColor &c)
{
    return c.name();
}
} // namespace

QColor ink() { return QColor(0x1d, 0x35, 0x57); }
QColor inkDeep() { return QColor(0x14, 0x21, 0x3d); }
QColor gold() { return QColor(0xc9, 0xa2, 0x27); }
QColor paper() { return QColor(0xf4, 0xec, 0xd8); }
QColor rule() { return QColor(0x8c, 0x98, 0xaa); }
QColor haze() { return QColor(0xe9, 0xed, 0xf3); }

QFont font(qreal points, bool bold)
{
    QFont f(Face);
    f.setFamilies({Face, Fallback});
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QFont pixelFont(int pixels, bool bold)
{
    QFont f(Face);
    f.setFamilies({Face, Fallback});
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QFont narrowFont(qreal points)
{
    QFont f(QStringLiteral("Liberation Sans Narrow"));
    f.setFamilies({QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial Narrow"), Fallback});
    f.setPointSizeF(points);
    return f;
}

QString fontCss(qreal points, bool bold)
{
    return QStringLiteral("%1%2pt '%3', '%4'")
        .arg(bold ? QStringLiteral("bold ") : QString())
        .arg(points)
        .arg(Face, Fallback);
}

QString labelStyle(qreal points, bool bold, const QColor &colour)
{
    return QStringLiteral("color: %1; font: %2; background: transparent;").arg(css(colour), fontCss(points, bold));
}

QString titleStyle()
{
    return labelStyle(16, true, Qt::white) + QStringLiteral(" letter-spacing: 2px;");
}

QString boxStyle(qreal points, int verticalPadding)
{
    return QStringLiteral("QLineEdit { border: 1px solid %1; border-radius: 3px; padding: %2px 6px;"
                          " font: %3; background: white; color: %4; }"
                          "QLineEdit:focus { border: 1px solid %5; }")
        .arg(css(rule()))
        .arg(verticalPadding)
        .arg(fontCss(points), css(inkDeep()), css(gold()));
}

QString buttonStyle()
{
    return QStringLiteral(
               "QPushButton { color: white; font: %1;"
               " border: 1px solid #0f1a30; border-radius: 4px; padding: 4px 10px;"
               " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #35527f, stop:1 %2); }"
               "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #46679b, stop:1 #27446d); }"
               "QPushButton:pressed { background: %3; }"
               "QPushButton:focus { border: 1px solid #e0b84a; }"
               "QPushButton:disabled { color: #d7dbe2; border-color: #9aa3b1;"
               " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #b9c0cb, stop:1 #a2aab7); }")
        .arg(fontCss(9, true), css(ink()), css(inkDeep()));
}

QString navigationBarStyle()
{
    // Each arrow is a target of at least 20 px; its border is kept, clear,
    // so that the gold frame of the focus does not shift the bar.
    return QStringLiteral("NavigationBar { background: %1; border: 1px solid %2; }"
                          "QToolButton { border: 2px solid transparent; border-radius: 3px; padding: 0 2px;"
                          " min-width: 16px; color: %3; font-weight: bold; }"
                          "QToolButton:hover { background: #d3dbe7; }"
                          "QToolButton:focus { border-color: %4; background: white; }"
                          "QLabel { color: %3; padding: 0 6px; }")
        .arg(css(haze()), css(rule()), css(ink()), css(gold()));
}

QString gridStyle()
{
    return QStringLiteral("QTableView { background: white; alternate-background-color: #f6f1e4; gridline-color: #d5cbb3;"
                          " selection-background-color: %1; selection-color: white; border: 1px solid %2; }"
                          "QHeaderView::section { background: %3; color: %1; padding: 2px 2px;"
                          " border: none; border-right: 1px solid #b8c2d1; border-bottom: 1px solid %2; }")
        .arg(css(ink()), css(rule()), css(haze()));
}

QString progressBarStyle()
{
    return QStringLiteral("QProgressBar { background: rgba(255,255,255,40); border: 1px solid rgba(255,255,255,90);"
                          " border-radius: 3px; }"
                          "QProgressBar::chunk { border-radius: 2px;"
                          " background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 %1, stop:1 #f1d06b); }")
        .arg(css(gold()));
}

QString calendarStyle()
{
    return QStringLiteral(
               "QCalendarWidget QWidget#qt_calendar_navigationbar {"
               " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #35527f, stop:1 %1); }"
               "QCalendarWidget QToolButton { color: white; font-weight: bold; background: transparent;"
               " border: none; padding: 2px 6px; }"
               "QCalendarWidget QToolButton:hover { background: rgba(255,255,255,40); border-radius: 3px; }"
               "QCalendarWidget QToolButton::menu-indicator { image: none; }"
               "QCalendarWidget QSpinBox { color: %2; background: white; selection-background-color: %3; }"
               "QCalendarWidget QAbstractItemView:enabled { color: %2; background: white;"
               " selection-background-color: %1; selection-color: white; }"
               "QCalendarWidget QAbstractItemView:disabled { color: #9aa3b1; }")
        .arg(css(ink()), css(inkDeep()), css(gold()));
}

QString screenFace() { return Face; }
QString gothicFace() { return QStringLiteral("BankGothicATTLtBT"); }
QString candaraFace() { return QStringLiteral("Candara"); }
QString myriadFace() { return QStringLiteral("Myriad Pro"); }

namespace {
QString faceCss(const QString &face, qreal points, bool bold)
{
    return QStringLiteral("%1%2pt '%3', '%4'")
        .arg(bold ? QStringLiteral("bold ") : QString())
        .arg(points)
        .arg(face, Fallback);
}
} // namespace

QString labelStyle(const QString &face, qreal points, bool bold, const QColor &colour, int letterSpacing)
{
    return QStringLiteral("color: %1; font: %2; background: transparent; letter-spacing: %3px;")
        .arg(css(colour), faceCss(face, points, bold))
        .arg(letterSpacing);
}

QString boxStyle(const QString &face, qreal points, int verticalPadding, bool masked)
{
    return QStringLiteral("QLineEdit { border: 1px solid %1; border-radius: 3px; padding: %2px 6px;"
                          " font: %3; background: white; color: %4;%5 }"
                          "QLineEdit:focus { border: 1px solid %6; }"
                          "QLineEdit:disabled { background: #ebe6d8; color: #6b7482; border-color: #b7bfcb; }")
        .arg(css(rule()))
        .arg(verticalPadding)
        .arg(faceCss(face, points, false), css(inkDeep()),
             masked ? QStringLiteral(" lineedit-password-character: 42;") : QString(), css(gold()));
}

QString compactNavigationBarStyle()
{
    return QStringLiteral("NavigationBar { background: %1; border: 1px solid %2; }"
                          "QToolButton { border: 2px solid transparent; border-radius: 2px; padding: 0; margin: 0;"
                          " min-width: 16px; color: %3; font: bold 6pt '%4'; }"
                          "QToolButton:hover { background: #d3dbe7; }"
                          "QToolButton:focus { border-color: %5; background: white; }"
                          "QLabel { color: %3; padding: 0 1px; font: 7.5pt '%4'; }")
        .arg(css(haze()), css(rule()), css(ink()), Fallback, css(gold()));
}

QString screenStyle(const QString &className, bool framed)
{
    QString style = QStringLiteral("%1 { background: %2;").arg(className, css(paper()));
    if (framed)
        style += QStringLiteral(" border: 1px solid %1;").arg(css(ink()));
    return style + QStringLiteral(" }");
}

void setBrowsePalette(QWidget *screen)
{
    QPalette pal = screen->palette();
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(0x4a, 0x55, 0x68));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x4a, 0x55, 0x68));
    pal.setColor(QPalette::Disabled, QPalette::Base, QColor(0xf3, 0xf1, 0xea));
    screen->setPalette(pal);
}

} // namespace Theme
