#include "loans/fines.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace Fines {

namespace {

bool isSkipped(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isExponentLetter(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'E' || u == u'e' || u == u'D' || u == u'd';
}

// Enough significant digits to round any decimal text to the nearest
// double (the worst case needs 767); a longer mantissa keeps these and one
// sticky non-zero digit for the tail it drops.
constexpr qsizetype KeptDigits = 800;
// Beyond these decimal exponents every mantissa overflows or underflows.
constexpr qint64 ExponentLimit = 400;

} // namespace

double readDays(const QString &text)
{
    enum class Part { Start, Mantissa, ExponentStart, ExponentSigned, ExponentDigits };

    Part part = Part::Start;
    bool negative = false;
    bool seenPoint = false;
    bool exponentNegative = false;
    bool exponentHasDigits = false;
    qint64 exponent = 0;      // saturates far beyond ExponentLimit
    qint64 pointShift = 0;    // decimal exponent of the digits kept so far
    std::string digits;       // significant digits, no leading zeros
    bool anyDigit = false;    // a mantissa digit, zero or not, was read

    for (const QChar c : text) {
        if (isSkipped(c))
            continue;
        bool taken = false;
        switch (part) {
        case Part::Start:
            if (c == QLatin1Char('+') || c == QLatin1Char('-')) {
                negative = c == QLatin1Char('-');
                part = Part::Mantissa;
                taken = true;
                break;
            }
            part = Part::Mantissa;
            [[fallthrough]];
        case Part::Mantissa:
            if (isDigit(c)) {
                anyDigit = true;
                const char d = char(c.unicode());
                if (digits.empty() && d == '0') {
                    if (seenPoint)
                        --pointShift; // 0.0x: the first significant digit moves right
                } else {
                    digits.push_back(d);
                    if (!seenPoint)
                        ++pointShift;
                }
                taken = true;
            } else if (c == QLatin1Char('.') && !seenPoint) {
                seenPoint = true;
                taken = true;
            } else if (isExponentLetter(c) && anyDigit) {
                part = Part::ExponentStart;
                taken = true;
            }
            break;
        case Part::ExponentStart:
            if (c == QLatin1Char('+') || c == QLatin1Char('-')) {
                exponentNegative = c == QLatin1Char('-');
                part = Part::ExponentSigned;
                taken = true;
                break;
            }
            [[fallthrough]];
        case Part::ExponentSigned:
        case Part::ExponentDigits:
            if (isDigit(c)) {
                exponentHasDigits = true;
                if (exponent < 1'000'000'000)
                    exponent = exponent * 10 + (c.unicode() - u'0');
                part = Part::ExponentDigits;
                taken = true;
            }
            break;
        }
        if (!taken)
            break;
    }

    // Trailing zeros add nothing once the point position is known.
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    if (digits.empty())
        return 0.0; // no number, or a number equal to zero

    if (exponentHasDigits)
        pointShift += exponentNegative ? -exponent : exponent;
    // The value is 0.<digits> times ten to the power pointShift.
    const double infinity = std::numeric_limits<double>::infinity();
    double magnitude;
    if (pointShift > ExponentLimit) {
        magnitude = infinity;
    } else if (pointShift < -ExponentLimit) {
        magnitude = 0.0;
    } else {
        if (qsizetype(digits.size()) > KeptDigits) {
            digits.resize(KeptDigits);
            digits.push_back('1');
        }
        const std::string number = "0." + digits + 'e' + std::to_string(pointShift);
        magnitude = 0.0;
        const auto result = std::from_chars(number.data(), number.data() + number.size(), magnitude);
        if (result.ec == std::errc::result_out_of_range)
            magnitude = pointShift > 0 ? infinity : 0.0;
        else if (result.ec != std::errc())
            magnitude = 0.0;
    }
    return negative ? -magnitude : magnitude;
}

QString numberText(double value, const QLocale &locale)
{
    if (!std::isfinite(value))
        return {};
    if (value == 0.0)
        value = 0.0; // minus zero is written 0
    // The C locale gives the digits, the sign and the exponent (no group
    // separators); only the decimal separator comes from `locale`.
    QString text = QLocale::c().toString(value, 'G', 15);
    const QString point = locale.decimalPoint();
    if (point != QLatin1String("."))
        text.replace(QLatin1Char('.'), point);
    return text;
}

QString fineFor(const QString &daysText, const QLocale &locale)
{
    return numberText(readDays(daysText) * PerDay, locale);
}

} // namespace Fines
