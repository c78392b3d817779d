#pragma once

#include <QLocale>
#include <QString>

// The overdue penalty arithmetic of the return desk (Part 3.3): the fine is
// the overdue days, read from the typed text, times 5 in double precision,
// written back as text. Qt Core only, so the rule can be tested and reused
// without any screen.
namespace Fines {

// The fine for one overdue day.
inline constexpr double PerDay = 5.0;

// Reads a number the way the days box is read (the platform's Val rule):
// blanks, tabs and line feeds are skipped anywhere, even between digits;
// an optional sign; digits with at most one full stop as the decimal point
// (whatever the locale); an optional exponent, E or D in either case, with
// an optional sign and digits. Reading stops at the first character that
// cannot continue the number; a text with no number in it reads as 0.
// Only the ASCII digits 0-9 count. The &H / &O radix forms are not read
// (they give 0). A number beyond the double range reads as plus or minus
// infinity; one too small to hold reads as 0. The result is never NaN.
double readDays(const QString &text);

// Writes `value` in the general number format: no leading blank, no group
// separators, no trailing zeros, at most 15 significant digits, the
// locale's decimal separator, exponent form (1E+15, 1.5E+16, 5E-05) when
// the rounded value is 1E15 or more in magnitude or below 1E-4 (a fraction
// below 1 keeps its leading zero: 0.5). Minus zero is written 0. NaN and
// the infinities have no number to show and give an empty text.
QString numberText(double value, const QLocale &locale = QLocale());

// The fines rule: the text to put in the fines box for a days text.
// A product beyond the double range gives an empty text (no fine could be
// worked out), never a crash or a message.
QString fineFor(const QString &daysText, const QLocale &locale = QLocale());

} // namespace Fines
