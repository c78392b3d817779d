// The overdue penalty arithmetic (Part 3.3): how the days text is read, how
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
    void shouldComputeTheWorkedValuesOfTheFinesRule_data()
    {
        QTest::addColumn<QString>("days");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("fine");

        // Every worked value of Part 3.3.
        QTest::newRow("3") << "3" << English << "15";
        QTest::newRow("2.5") << "2.5" << English << "12.5";
        QTest::newRow("2.5, comma locale") << "2.5" << German << "12,5";
        QTest::newRow("empty") << "" << English << "0";
        QTest::newRow("abc") << "abc" << English << "0";
        QTest::newRow("3 overdue") << "3 overdue" << English << "15";
        QTest::newRow("1,5 stops at the comma") << "1,5" << English << "5";
        QTest::newRow("1,5 in a comma locale too") << "1,5" << German << "5";
        QTest::newRow("-2") << "-2" << English << "-10";
        QTest::newRow("1 2") << "1 2" << English << "60";
        // Its edge cases.
        QTest::newRow("typing 1") << "1" << English << "5";
        QTest::newRow("then 2") << "12" << English << "60";
        QTest::newRow("-3") << "-3" << English << "-15";
        QTest::newRow("negative fraction, comma locale") << "-2.5" << German << "-12,5";
    }
    void shouldComputeTheWorkedValuesOfTheFinesRule()
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

        QTest::newRow("whole") << "7" << 7.0;
        QTest::newRow("leading and trailing blanks") << "  7  " << 7.0;
        QTest::newRow("tab and line feed between digits") << "1\t2\n3" << 123.0;
        QTest::newRow("blank between sign and digits") << "- 4" << -4.0;
        QTest::newRow("plus sign") << "+4" << 4.0;
        QTest::newRow("two signs read nothing") << "+-4" << 0.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("negative leading point") << "-.5" << -0.5;
        QTest::newRow("trailing point") << "5." << 5.0;
        QTest::newRow("point alone") << "." << 0.0;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("leading zeros") << "007" << 7.0;
        QTest::newRow("small fraction") << "0.0001" << 0.0001;
        QTest::newRow("exponent E") << "1E3" << 1000.0;
        QTest::newRow("exponent e with sign") << "25e-1" << 2.5;
        QTest::newRow("exponent D") << "1D2" << 100.0;
        QTest::newRow("exponent d with plus") << "1d+2" << 100.0;
        QTest::newRow("blanks inside the exponent") << "1 e - 1" << 0.1;
        QTest::newRow("exponent without digits is dropped") << "3e" << 3.0;
        QTest::newRow("exponent sign without digits is dropped") << "3e-" << 3.0;
        QTest::newRow("second exponent stops") << "2e1e1" << 20.0;
        QTest::newRow("exponent without mantissa") << "e5" << 0.0;
        QTest::newRow("exponent after a bare point") << ".e5" << 0.0;
        QTest::newRow("currency sign first") << "$5" << 0.0;
        QTest::newRow("currency sign after") << "5$" << 5.0;
        QTest::newRow("carriage return stops") << "3\r4" << 3.0;
        QTest::newRow("no-break space stops") << QString::fromUtf8("3\u00a04") << 3.0;
        QTest::newRow("full-width digits are no digits") << QString::fromUtf8("\uff11\uff12") << 0.0;
        QTest::newRow("hexadecimal form is not read") << "&H10" << 0.0;
        QTest::newRow("octal form is not read") << "&O10" << 0.0;
        QTest::newRow("minus zero reads as zero") << "-0" << 0.0;
        QTest::newRow("too small after many zeros") << "0." + QString(500, QLatin1Char('0')) + "1" << 0.0;
        QTest::newRow("a thousand threes after the point")
            << "0." + QString(1000, QLatin1Char('3')) << 1.0 / 3.0;
        QTest::newRow("largest double") << "1.7976931348623157e308" << std::numeric_limits<double>::max();
        QTest::newRow("smallest denormal") << "4.9406564584124654e-324" << std::numeric_limits<double>::denorm_min();
        QTest::newRow("past the range") << "1e400" << Infinity;
        QTest::newRow("past the range, negative") << "-1e400" << -Infinity;
        QTest::newRow("just past the range") << "1.8e308" << Infinity;
        QTest::newRow("a thousand nines") << QString(1000, QLatin1Char('9')) << Infinity;
        QTest::newRow("huge exponent") << "1e" + QString(40, QLatin1Char('9')) << Infinity;
        QTest::newRow("below the range") << "1e-400" << 0.0;
        QTest::newRow("huge negative exponent") << "1e-" + QString(40, QLatin1Char('9')) << 0.0;
        QTest::newRow("many digits brought back by the exponent")
            << "0." + QString(600, QLatin1Char('0')) + "25e602" << 25.0;
    }
    void shouldReadDaysLikeThePlatformReadsNumbers()
    {
        QFETCH(QString, text);
        QFETCH(double, days);
        const double read = Fines::readDays(text);
        QVERIFY2(!std::isnan(read), "never NaN");
        QCOMPARE(read, days);
    }

    void shouldWriteNumbersInTheGeneralFormat_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");

        QTest::newRow("whole") << 15.0 << English << "15";
        QTest::newRow("zero") << 0.0 << English << "0";
        QTest::newRow("minus zero") << -0.0 << English << "0";
        QTest::newRow("fraction") << 12.5 << English << "12.5";
        QTest::newRow("fraction, comma locale") << 12.5 << German << "12,5";
        QTest::newRow("below one keeps its zero") << 0.5 << English << "0.5";
        QTest::newRow("below one, comma locale") << -0.25 << German << "-0,25";
        QTest::newRow("no group separators") << 1234567.0 << English << "1234567";
        QTest::newRow("no group separators, comma locale") << 1234567.0 << German << "1234567";
        QTest::newRow("fifteen significant digits") << 2.0 / 3.0 << English << "0.666666666666667";
        QTest::newRow("float noise rounded away") << 0.1 * 3 << English << "0.3";
        QTest::newRow("largest plain whole") << 999999999999999.0 << English << "999999999999999";
        QTest::newRow("1E15 in exponent form") << 1e15 << English << "1E+15";
        QTest::newRow("rounds up into exponent form") << 999999999999999.5 << English << "1E+15";
        QTest::newRow("five thousand million million") << 5e15 << English << "5E+15";
        QTest::newRow("negative exponent form") << -5e15 << English << "-5E+15";
        QTest::newRow("fractional exponent form") << 1.5e16 << English << "1.5E+16";
        QTest::newRow("fractional exponent form, comma locale") << 1.5e16 << German << "1,5E+16";
        QTest::newRow("many digits in exponent form") << 6172839450617280.0 << English << "6.17283945061728E+15";
        QTest::newRow("largest double") << std::numeric_limits<double>::max() << English << "1.79769313486232E+308";
        QTest::newRow("1E-4 stays plain") << 0.0005 << English << "0.0005";
        QTest::newRow("below 1E-4 in exponent form") << 5e-5 << English << "5E-05";
        QTest::newRow("below 1E-4, comma locale") << 2.5e-5 << German << "2,5E-05";
        QTest::newRow("NaN gives nothing") << std::nan("") << English << "";
        QTest::newRow("infinity gives nothing") << Infinity << English << "";
        QTest::newRow("minus infinity gives nothing") << -Infinity << German << "";
    }
    void shouldWriteNumbersInTheGeneralFormat()
    {
        QFETCH(double, value);
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QCOMPARE(Fines::numberText(value, locale), text);
    }

    void shouldKeepTheFineSensibleAtTheEdges_data()
    {
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("fine");

        QTest::newRow("plain days") << "1.1" << "5.5";
        QTest::newRow("fraction of a day") << "0.1" << "0.5";
        QTest::newRow("exponent days") << "2e14" << "1E+15";
        QTest::newRow("fine just below exponent form") << "199999999999999.8" << "999999999999999";
        QTest::newRow("fifteen digits kept") << "1234567890123456" << "6.17283945061728E+15";
        QTest::newRow("tiny fine") << "1e-5" << "5E-05";
        QTest::newRow("days past the range leave the fine empty") << "1e400" << "";
        QTest::newRow("negative days past the range") << "-1e400" << "";
        QTest::newRow("product past the range leaves the fine empty") << "1e308" << "";
        QTest::newRow("a thousand digits") << QString(1000, QLatin1Char('1')) << "";
        QTest::newRow("a thousand digits after the point") << "0." + QString(1000, QLatin1Char('3'))
                                                           << "1.66666666666667";
        QTest::newRow("days too small to hold") << "1e-400" << "0";
        QTest::newRow("long text of letters") << QString(100000, QLatin1Char('x')) << "0";
    }
    void shouldKeepTheFineSensibleAtTheEdges()
    {
        QFETCH(QString, days);
        QFETCH(QString, fine);
        QCOMPARE(Fines::fineFor(days, English), fine);
    }

    void shouldUseTheDefaultLocaleWhenNoneIsGiven()
    {
        // GIVEN a default locale with a comma as its decimal separator
        const QLocale saved;
        QLocale::setDefault(German);
        // WHEN the fine of 2.5 days is written without naming a locale
        const QString fine = Fines::fineFor(QStringLiteral("2.5"));
        const QString whole = Fines::fineFor(QStringLiteral("3"));
        QLocale::setDefault(saved);
        // THEN the comma separates the decimals, and the days were still
        // read with a full stop
        QCOMPARE(fine, QStringLiteral("12,5"));
        QCOMPARE(whole, QStringLiteral("15"));
    }
};

QTEST_GUILESS_MAIN(FinesTest)
#include "tst_fines.moc"
