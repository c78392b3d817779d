#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

// The program's look in one place: its colours, its two type faces and
// the style sheets that every screen takes from here.
namespace Theme {

// Navy of headings, labels and buttons.
QColor ink();
// Darker navy of the text typed in boxes.
QColor inkDeep();
// Gold of the focus ring and the progress bar.
QColor gold();
// Parchment of the screens' backgrounds.
QColor paper();
// Grey-blue of box and grid borders.
QColor rule();
// Pale blue of headers and the navigation bar.
QColor haze();

// The screens' face (Tahoma where installed, else DejaVu Sans).
QFont font(qreal points, bool bold = false);
QFont pixelFont(int pixels, bool bold = false);
// The narrow face of the grid headings.
QFont narrowFont(qreal points);
// The same face for a style sheet: "bold 9pt 'Tahoma', 'DejaVu Sans'".
QString fontCss(qreal points, bool bold = false);

// A transparent label in `colour`.
QString labelStyle(qreal points, bool bold = true, const QColor &colour = ink());
// The white title of a screen, spaced out over its navy heading strip.
QString titleStyle();
// An input box with a thin border that turns gold with the focus.
QString boxStyle(qreal points, int verticalPadding);
QString buttonStyle();
QString navigationBarStyle();
QString gridStyle();
QString progressBarStyle();
QString calendarStyle();
// Faces that some screens ask for by name besides the screens' own; each
// falls back to the screens' face where it is not installed.
QString screenFace();   // the screens' own face (Tahoma)
QString gothicFace();   // the wide capitals of the account screen's field labels
QString candaraFace();  // the account screen's password and hint boxes
QString myriadFace();   // the account screen's "Administrator Account"
// labelStyle() and boxStyle() in a face of their own; a masked box shows
// "*" for every character, a disabled box reads as greyed paper.
QString labelStyle(const QString &face, qreal points, bool bold, const QColor &colour = ink(),
                   int letterSpacing = 0);
QString boxStyle(const QString &face, qreal points, int verticalPadding, bool masked = false);
// A navigation bar narrow enough for a corner of a screen.
QString compactNavigationBarStyle();
// A screen's parchment background and, when `framed`, its navy border.
QString screenStyle(const QString &className, bool framed);
// Disabled inputs that still read well while a screen only shows a row.
void setBrowsePalette(QWidget *screen);

} // namespace Theme
