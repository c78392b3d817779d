// The Jet reader over libmdb: the tables, columns and rows of a real Jet 4
// file, its value types and NULLs, and what it does with files that are
// missing, foreign, random or cut short.
#include "admin/mdbfile.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
const QString Fixture = QStringLiteral(TEST_DATA_DIR "/fruit.mdb");
const QString Fruit = QStringLiteral("Fruit");

QList<QVariantList> allRows(MdbReader &mdb, const QString &table, bool *ok = nullptr)
{
    QList<QVariantList> rows;
    const bool read = mdb.readRows(table, [&](const QVariantList &row) { return rows.append(row), true; });
    if (ok)
        *ok = read;
    return rows;
}

QByteArray fixtureBytes()
{
    QFile file(Fixture);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("test.mdb"));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}

QVariant utc(int y, int m, int d, int h, int min, int s)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s), QTimeZone::utc());
}

// The fixture has only Text and Long Integer columns. To read the other
// kinds through libmdb as well, a copy of it gets some of table Fruit's
// columns retyped in the table's definition (a Jet 4 page: the column
// entries of 25 bytes, kind at byte 0, fixed offset at 21, size at 23) and
// the stored bytes of row Apple set to chosen values. An 8-byte kind spans
// its column and the next one, which keeps reading its own 4 bytes.
struct RetypedFruit {
    QByteArray bytes = fixtureBytes();
    qsizetype definition = bytes.indexOf(QByteArray("P\0r\0o\0t\0i\0e\0n\0", 14)) / 4096 * 4096;
    quint16 word(qsizetype at) const { return qFromLittleEndian<quint16>(bytes.constData() + at); }
    qsizetype entry(int index) const { return definition + 63 + word(definition + 51) * 12 + index * 25; }
    // Apple's row of Fruit: its column count (12, a dropped one among them)
    // and fixed data take the 46 bytes before its name (Jet 4 compressed
    // text: FF FE, then one byte a character).
    qsizetype apple() const
    {
        for (qsizetype at = bytes.indexOf("\xff\xfe" "Apple"); at >= 0; at = bytes.indexOf("\xff\xfe" "Apple", at + 1))
            if (at >= 46 && word(at - 46) == 12)
                return at - 46;
        return -1;
    }
    template<typename T>
    void retype(int index, int kind, T value)
    {
        bytes[entry(index)] = char(kind);
        qToLittleEndian<quint16>(quint16(sizeof value), bytes.data() + entry(index) + 23);
        std::memcpy(bytes.data() + apple() + 2 + word(entry(index) + 21), &value, sizeof value);
    }
};
} // namespace

class MdbTest : public QObject
{
    Q_OBJECT

private slots:
    void shouldGiveTablesColumnsAndEveryRowWithTheirExactNamesAndNulls()
    {
        MdbReader mdb;
        QVERIFY2(mdb.open(Fixture), qPrintable(mdb.errorText()));
        QCOMPARE(mdb.tables(), (QStringList{"Fruit", "Fruit Salad", "Veggie Salad", "Muffin/Bread", "Dried"}));
        QCOMPARE(mdb.columns(Fruit), (QStringList{"Fruit", "Fiber", "Fat", "Protien", "Sugar", "Vit A", "Vit C",
                                                  "Vit B1", "Vit B2", "Vit B6", "Vit E"}));
        QCOMPARE(mdb.columns(QStringLiteral("fruit salad")), QStringList{"Fruit"}); // any case
        // A table that is not there is refused, and the file stays usable.
        for (const QString table : {"Vegetables", "FruitSalad", "MSysObjects", ""}) {
            bool ok = true;
            QVERIFY(mdb.columns(table).isEmpty() && mdb.errorText().contains(QStringLiteral("no table")));
            QVERIFY2(allRows(mdb, table, &ok).isEmpty() && !ok, qPrintable(table));
            QCOMPARE(mdb.columns(QStringLiteral("Muffin/Bread")), QStringList{"fruit"});
            QCOMPARE(mdb.errorText(), QString());
        }
        bool ok = false;
        QStringList names;
        int nulls = 0;
        const QList<QVariantList> rows = allRows(mdb, Fruit, &ok);
        for (const QVariantList &row : rows) {
            names << row.first().toString();
            nulls += int(std::count_if(row.cbegin(), row.cend(), [](const QVariant &v) { return v.isNull(); }));
            if (names.last() == QLatin1String("Kumquat")) // NULL is a null QVariant, not 0
                QCOMPARE(row.mid(8), (QVariantList{0, QVariant(), QVariant()}));
        }
        QVERIFY2(ok && names.size() == 37 && nulls == 13, qPrintable(mdb.errorText()));
        QCOMPARE(rows.first(), (QVariantList{"Apple", 2, 0, 0, 12, 2, 15, 0, 0, 0, 0}));
        // A comma and a slash stay in the text.
        QVERIFY(names.contains(QStringLiteral("Grapefruit, Red")) && names.contains(QStringLiteral("Mandarin/Tangerine")));
    }

    void shouldLetTheRowCallbackStopUseTheFileAgainOrCloseIt()
    {
        MdbReader mdb;
        QVERIFY(mdb.open(Fixture));
        QStringList seen;
        int inner = 0;
        QVERIFY(mdb.readRows(Fruit, [&](const QVariantList &row) {
            seen.append(row.first().toString());
            inner += int(allRows(mdb, QStringLiteral("Veggie Salad")).size());
            return seen.size() < 3 && mdb.columns(QStringLiteral("Fruit Salad")) == QStringList{"Fruit"};
        }));
        QVERIFY(seen == (QStringList{"Apple", "Apricot", "Avocado"}) && inner == 3 * 4);
        // A later read starts again from the first row.
        QCOMPARE(allRows(mdb, Fruit).size(), 37);
        // A file closed meanwhile lets the read finish.
        int calls = 0;
        QVERIFY(mdb.readRows(QStringLiteral("Dried"), [&](const QVariantList &) { return ++calls != 2 || (mdb.close(), true); }));
        QCOMPARE(calls, 12);
        QVERIFY(!mdb.isOpen() && mdb.tables().isEmpty() && !mdb.readRows(Fruit, [](const QVariantList &) { return true; }));
        mdb.close(); // twice is harmless
    }

    void shouldRefuseFilesThatAreNotJetDatabases_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QByteArray noise;
        for (int i = 0; i < 64 * 1024; ++i)
            noise.append(char((i * 7919) >> 3));
        QByteArray future = fixtureBytes();
        future[0x14] = char(0x42);
        QTest::newRow("random bytes") << noise << "not a Jet database";
        QTest::newRow("SQLite file") << QByteArray("SQLite format 3").append(QByteArray(8193, '\0')) << "not a Jet database";
        QTest::newRow("unknown version") << future << "unknown version";
        QTest::newRow("cut to its signature") << fixtureBytes().left(100) << "cut short";
        QTest::newRow("cut inside a page") << fixtureBytes().left(74 * 4096 + 1000) << "cut short";
        QTest::newRow("cut one byte short") << fixtureBytes().chopped(1) << "cut short";
        QTest::newRow("missing") << QByteArray() << " does not exist";
        QTest::newRow("a folder") << QByteArray() << "not a file";
    }
    void shouldRefuseFilesThatAreNotJetDatabases()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = !bytes.isEmpty() ? writeFile(dir, bytes)
                             : error == QLatin1String("not a file") ? dir.path() : dir.filePath(QStringLiteral("Tallymere.mdb"));
        // A failed open also closes what was open before.
        MdbReader mdb;
        QVERIFY(mdb.open(Fixture) && !mdb.open(path) && !mdb.isOpen() && mdb.tables().isEmpty());
        QVERIFY2(mdb.errorText().contains(path) && mdb.errorText().contains(error), qPrintable(mdb.errorText()));
    }

    void shouldNeverSilentlyLoseRowsOfAFileCutAtAPage()
    {
        // 148 pages; the catalogue reaches into page 59, the pages after
        // that are free.
        MdbReader whole;
        QVERIFY(whole.open(Fixture));
        for (const int pages : {74, 147}) {
            QTemporaryDir dir;
            MdbReader mdb;
            QVERIFY2(mdb.open(writeFile(dir, fixtureBytes().left(pages * 4096))), qPrintable(mdb.errorText()));
            QCOMPARE(mdb.tables(), whole.tables());
            // Each table either reads whole or says it cannot be read.
            for (const QString &table : mdb.tables()) {
                bool ok = false;
                const QList<QVariantList> rows = allRows(mdb, table, &ok);
                QVERIFY2(ok ? rows == allRows(whole, table) : !mdb.errorText().isEmpty(), qPrintable(table));
            }
        }
    }

    void shouldReadDatesMoneyAndFractionsFromStoredBytes()
    {
        // GIVEN Fiber a Date/Time, Sugar a Single, Vit A a Currency and
        // Vit B1 a Double, with chosen values stored for Apple
        RetypedFruit fruit;
        QVERIFY(fruit.definition > 0 && fruit.apple() > 0);
        fruit.retype(1, 0x08, 36526.5);
        fruit.retype(4, 0x06, 12.5f);
        fruit.retype(5, 0x05, qint64(123456789));
        fruit.retype(7, 0x07, 2.5);
        QTemporaryDir dir;
        MdbReader mdb;
        QVERIFY2(mdb.open(writeFile(dir, fruit.bytes)), qPrintable(mdb.errorText()));
        // WHEN its rows are read, THEN each value has its kind's type
        bool ok = false;
        const QList<QVariantList> rows = allRows(mdb, Fruit, &ok);
        QVERIFY2(ok && rows.size() == 37, qPrintable(mdb.errorText()));
        const QVariantList apple = rows.first();
        QCOMPARE((QVariantList{apple.at(1), apple.at(4), apple.at(5), apple.at(7), apple.at(3)}),
                 (QVariantList{utc(2000, 1, 1, 12, 0, 0), 12.5f, 12345.6789, 2.5, 0}));
        QVERIFY(apple.at(4).typeId() == QMetaType::Float && apple.at(5).typeId() == QMetaType::Double);
    }

    void shouldTurnJetDatesIntoDatesAndTimes_data()
    {
        QTest::addColumn<double>("days");
        QTest::addColumn<QVariant>("value");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("day zero") << 0.0 << QVariant(QDate(1899, 12, 30));
        QTest::newRow("seconds kept") << 45000.0 + (13 * 3600 + 17 * 60 + 41) / 86400.0 << utc(2023, 3, 15, 13, 17, 41);
        QTest::newRow("a hair before midnight is midnight") << 45000.99999999999 << QVariant(QDate(2023, 3, 16));
        QTest::newRow("time runs forward before 1899") << -1.25 << utc(1899, 12, 29, 6, 0, 0);
        QTest::newRow("minus a half is noon of day zero") << -0.5 << utc(1899, 12, 30, 12, 0, 0);
        QTest::newRow("Jet's first day") << -657434.0 << QVariant(QDate(100, 1, 1));
        QTest::newRow("Jet's last day") << 2958465.0 << QVariant(QDate(9999, 12, 31));
        QTest::newRow("past Jet's range stays a number") << 2958466.0 << QVariant(2958466.0);
        QTest::newRow("infinity stays a number") << inf << QVariant(inf);
        QTest::newRow("not a number stays a number") << std::nan("") << QVariant(std::nan(""));
    }
    void shouldTurnJetDatesIntoDatesAndTimes()
    {
        QFETCH(double, days);
        QFETCH(QVariant, value);
        const QVariant read = MdbReader::fromJetDate(days);
        QCOMPARE(read.typeId(), value.typeId());
        QVERIFY(std::isnan(days) ? std::isnan(read.toDouble()) : read == value);
    }
};

QTEST_GUILESS_MAIN(MdbTest)
#include "tst_mdb.moc"
