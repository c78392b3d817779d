// The overdue penalty arithmetic: how the days text is read, how
// the product is written, and the fines rule that joins them.
#include "loans/fines.h"

#include <QLocale>
#include <QTest>

#include <cmath>
#include <limits>

namespace {
const QLocale English(QLocale::English, QLocale::UnitedStates);
const QLocale German(QLocale::German, QLocale::Germany);
constexpr double Infinity = std::numeric_limits<double>::infinity();
} // namespace

class FinesTest : public QObject
{
    Q_OBJECT

private slots:
    void shouldComputeTheFineOfTheDaysTyped_data()
    {
        QTest::addColumn<QString>("days");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("fine");
        QTest::newRow("2.5") << "2.5" << English << "12.5";
        QTest::newRow("2.5, comma locale") << "2.5" << German << "12,5";
        QTest::newRow("empty") << "" << English << "0";
        QTest::newRow("1,5 stops at the comma, whatever the locale") << "1,5" << German << "5";
        QTest::newRow("days past the range leave the fine empty") << "-1e400" << English << "";
        QTest::newRow("product past the range leaves the fine empty") << "1e308" << English << "";
        QTest::newRow("long text of letters") << QString(100000, QLatin1Char('x')) << English << "0";
    }
    void shouldComputeTheFineOfTheDaysTyped()
    {
        QFETCH(QString, days);
        QFETCH(QLocale, locale);
        QFETCH(QString, fine);
        QCOMPARE(Fines::fineFor(days, locale), fine);
    }

    void shouldReadDaysLikeThePlatformReadsNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("days");
        QTest::newRow("blanks around and between digits") << " 1\t2\n3 " << 123.0;
        QTest::newRow("blank between sign and digits") << "- 4" << -4.0;
        QTest::newRow("two signs read nothing") << "+-4" << 0.0;
        QTest::newRow("leading point") << "-.5" << -0.5;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("exponent e with sign") << "25e-1" << 2.5;
        QTest::newRow("exponent D") << "1D2" << 100.0;
        QTest::newRow("blanks inside the exponent") << "1 e - 1" << 0.1;
        QTest::newRow("exponent without mantissa") << ".e5" << 0.0;
        QTest::newRow("carriage return stops") << "3\r4" << 3.0;
        QTest::newRow("no-break space stops") << QString::fromUtf8("3\u00a04") << 3.0;
        QTest::newRow("full-width digits are no digits") << QString::fromUtf8("\uff11\uff12") << 0.0;
        QTest::newRow("hexadecimal form is not read") << "&H10" << 0.0;
        QTest::newRow("a thousand threes after the point") << "0." + QString(1000, QLatin1Char('3')) << 1.0 / 3.0;
        QTest::newRow("smallest denormal") << "4.9406564584124654e-324" << std::numeric_limits<double>::denorm_min();
        QTest::newRow("a thousand nines") << QString(1000, QLatin1Char('9')) << Infinity;
        QTest::newRow("digits brought back by the exponent") << "0." + QString(600, QLatin1Char('0')) + "25e602" << 25.0;
    }
    void shouldReadDaysLikeThePlatformReadsNumbers()
    {
        QFETCH(QString, text);
        QFETCH(double, days);
        QCOMPARE(Fines::readDays(text), days);
    }

    void shouldWriteNumbersInTheGeneralFormat_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("minus zero") << -0.0 << English << "0";
        QTest::newRow("below one keeps its zero, comma locale") << -0.25 << German << "-0,25";
        QTest::newRow("no group separators") << 1234567.0 << German << "1234567";
        QTest::newRow("fifteen significant digits") << 2.0 / 3.0 << English << "0.666666666666667";
        QTest::newRow("float noise rounded away") << 0.1 * 3 << English << "0.3";
        QTest::newRow("largest plain whole") << 999999999999999.0 << English << "999999999999999";
        QTest::newRow("rounds up into exponent form") << 999999999999999.5 << English << "1E+15";
        QTest::newRow("fractional exponent form, comma locale") << -1.5e16 << German << "-1,5E+16";
        QTest::newRow("1E-4 stays plain") << 0.0005 << English << "0.0005";
        QTest::newRow("below 1E-4, comma locale") << 2.5e-5 << German << "2,5E-05";
        QTest::newRow("infinity gives nothing") << -Infinity << German << "";
    }
    void shouldWriteNumbersInTheGeneralFormat()
    {
        QFETCH(double, value);
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QCOMPARE(Fines::numberText(value, locale), text);
    }

    void shouldUseTheDefaultLocaleWhenNoneIsGiven()
    {
        const QLocale saved;
        QLocale::setDefault(German);
        const QString fine = Fines::fineFor(QStringLiteral("2.5")), number = Fines::numberText(0.5); // read with a full stop
        QLocale::setDefault(saved);
        QCOMPARE(fine + QLatin1Char(' ') + number, QStringLiteral("12,5 0,5"));
    }
};

QTEST_GUILESS_MAIN(FinesTest)
#include "tst_fines.moc"
