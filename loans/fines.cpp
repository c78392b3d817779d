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

// A number read from the front of a text of days a character at a time,
// as Val reads one: a sign, digits with at most one point, then an
// exponent (E or D) with its own sign; the first character that fits none
// of these ends it.
class DaysReader
{
public:
    // Whether `c` belongs to the number; false ends the reading.
    bool take(QChar c)
    {
        switch (m_part) {
        case Part::Start:
            m_part = Part::Mantissa;
            if (isSign(c)) {
                m_negative = c == QLatin1Char('-');
                return true;
            }
            return takeMantissa(c);
        case Part::Mantissa:
            return takeMantissa(c);
        case Part::ExponentStart:
            if (isSign(c)) {
                m_exponentNegative = c == QLatin1Char('-');
                m_part = Part::ExponentSigned;
                return true;
            }
            return takeExponent(c);
        case Part::ExponentSigned:
        case Part::ExponentDigits:
            return takeExponent(c);
        }
        return false;
    }

    double value()
    {
        // Trailing zeros add nothing once the point position is known.
        while (!m_digits.empty() && m_digits.back() == '0')
            m_digits.pop_back();
        if (m_digits.empty())
            return 0.0; // no number, or a number equal to zero
        if (m_exponentHasDigits)
            m_pointShift += m_exponentNegative ? -m_exponent : m_exponent;
        const double magnitude = magnitudeOf(m_digits, m_pointShift);
        return m_negative ? -magnitude : magnitude;
    }

private:
    enum class Part { Start, Mantissa, ExponentStart, ExponentSigned, ExponentDigits };

    static bool isSign(QChar c) { return c == QLatin1Char('+') || c == QLatin1Char('-'); }

    bool takeMantissa(QChar c)
    {
        if (isDigit(c)) {
            m_anyDigit = true;
            const char d = char(c.unicode());
            if (m_digits.empty() && d == '0') {
                if (m_seenPoint)
                    --m_pointShift; // 0.0x: the first significant digit moves right
            } else {
                m_digits.push_back(d);
                if (!m_seenPoint)
                    ++m_pointShift;
            }
            return true;
        }
        if (c == QLatin1Char('.') && !m_seenPoint) {
            m_seenPoint = true;
            return true;
        }
        if (isExponentLetter(c) && m_anyDigit) {
            m_part = Part::ExponentStart;
            return true;
        }
        return false;
    }

    bool takeExponent(QChar c)
    {
        if (!isDigit(c))
            return false;
        m_exponentHasDigits = true;
        if (m_exponent < 1'000'000'000)
            m_exponent = m_exponent * 10 + (c.unicode() - u'0');
        m_part = Part::ExponentDigits;
        return true;
    }

    // The value 0.<digits> times ten to the power `pointShift`, rounded to
    // the nearest double.
    static double magnitudeOf(std::string digits, qint64 pointShift)
    {
        const double infinity = std::numeric_limits<double>::infinity();
        if (pointShift > ExponentLimit)
            return infinity;
        if (pointShift < -ExponentLimit)
            return 0.0;
        if (qsizetype(digits.size()) > KeptDigits) {
            digits.resize(KeptDigits);
            digits.push_back('1');
        }
        const std::string number = "0." + digits + 'e' + std::to_string(pointShift);
        double magnitude = 0.0;
        const auto result = std::from_chars(number.data(), number.data() + number.size(), magnitude);
        if (result.ec == std::errc::result_out_of_range)
            return pointShift > 0 ? infinity : 0.0;
        return result.ec == std::errc() ? magnitude : 0.0;
    }

    Part m_part = Part::Start;
    bool m_negative = false;
    bool m_seenPoint = false;
    bool m_exponentNegative = false;
    bool m_exponentHasDigits = false;
    qint64 m_exponent = 0;   // saturates far beyond ExponentLimit
    qint64 m_pointShift = 0; // decimal exponent of the digits kept so far
    std::string m_digits;    // significant digits, no leading zeros
    bool m_anyDigit = false; // a mantissa digit, zero or not, was read
};

} // namespace

double readDays(const QString &text)
{
    DaysReader reader;
    for (const QChar c : text) {
        if (isSkipped(c))
            continue;
        if (!reader.take(c))
            break;
    }
    return reader.value();
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
