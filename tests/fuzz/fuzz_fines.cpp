// The fines arithmetic: the days box read from any text, and any double
// written in the general number format, in two locales.
#include "loans/fines.h"

#include <QLocale>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void fail(const char *why, const QString &detail)
{
    std::fprintf(stderr, "%s: %s\n", why, qPrintable(detail));
    std::abort();
}

// Written with at most 15 significant digits, read back within rounding.
void checkWritten(double value, const QLocale &locale)
{
    const QString text = Fines::numberText(value, locale);
    if (!std::isfinite(value)) {
        if (!text.isEmpty())
            fail("a non-finite value has a text", text);
        return;
    }
    if (text.isEmpty() || text.startsWith(QLatin1Char(' ')) || text.contains(locale.groupSeparator()))
        fail("a badly written number", text);
    if (text == QStringLiteral("-0"))
        fail("minus zero written with its sign", text);
    QString digits;
    qsizetype significant = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('E'))
            break;
        if (c.isDigit() && (significant > 0 || c != QLatin1Char('0')))
            ++significant;
    }
    if (significant > 15)
        fail("more than 15 significant digits", text);
    // The days box reads only a full stop as the decimal point.
    QString plain = text;
    plain.replace(locale.decimalPoint(), QStringLiteral("."));
    const double back = Fines::readDays(plain);
    const double tolerance = std::fabs(value) * 1e-14;
    if (std::isfinite(back) && std::fabs(back - value) > tolerance && std::fabs(value) > 1e-300)
        fail("a written number reads back as another", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    static const QLocale german(QLocale::German, QLocale::Germany);

    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const double days = Fines::readDays(text);
    if (std::isnan(days))
        fail("the days box read as NaN", text);
    checkWritten(days, english);
    const QString fine = Fines::fineFor(text, german);
    if (std::isfinite(days * Fines::PerDay) == fine.isEmpty())
        fail("a fine given for no number, or none for a number", text);

    // The first eight bytes as any double at all, NaNs and subnormals too.
    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        checkWritten(raw, english);
        checkWritten(raw, german);
    }
    return 0;
}
