// The Jet reader over libmdb: the tables, columns and rows of a real Jet 4
// file, its value types and NULLs, and what it does with files that are
// missing, foreign, random or cut short.
#include "admin/mdbfile.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cmath>
#include <limits>

namespace {
const QString Fixture = QStringLiteral(TEST_DATA_DIR "/fruit.mdb");

const QStringList FruitColumns{"Fruit",  "Fiber", "Fat",    "Protien", "Sugar", "Vit A",
                               "Vit C", "Vit B1", "Vit B2", "Vit B6",  "Vit E"};

QList<QVariantList> allRows(MdbReader &mdb, const QString &table, bool *ok = nullptr)
{
    QList<QVariantList> rows;
    const bool read = mdb.readRows(table, [&](const QVariantList &row) {
        rows.append(row);
        return true;
    });
    if (ok)
        *ok = read;
    return rows;
}

QByteArray fixtureBytes()
{
    QFile file(Fixture);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

QVariantList fruitRow(const QString &name, QList<QVariant> numbers)
{
    QVariantList row{name};
    row.append(numbers);
    return row;
}
} // namespace

class MdbTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(Fixture), qPrintable(Fixture));
    }

    void shouldListTheUserTablesOnly()
    {
        MdbReader mdb;
        QVERIFY2(mdb.open(Fixture), qPrintable(mdb.errorText()));
        QVERIFY(mdb.isOpen());
        QCOMPARE(mdb.errorText(), QString());
        QCOMPARE(mdb.tables(),
                 (QStringList{"Fruit", "Fruit Salad", "Veggie Salad", "Muffin/Bread", "Dried"}));
    }

    void shouldGiveColumnsWithTheirExactNames_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("columns");

        QTest::newRow("inner spaces and spelling kept") << "Fruit" << FruitColumns;
        QTest::newRow("table name with a space") << "Fruit Salad" << QStringList{"Fruit"};
        QTest::newRow("column in lower case") << "Veggie Salad" << QStringList{"fruit"};
        QTest::newRow("table name with a slash") << "Muffin/Bread" << QStringList{"fruit"};
        QTest::newRow("table name in another case") << "fruit salad" << QStringList{"Fruit"};
        QTest::newRow("table name in capitals") << "DRIED" << QStringList{"Fruit"};
    }
    void shouldGiveColumnsWithTheirExactNames()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, columns);
        MdbReader mdb;
        QVERIFY(mdb.open(Fixture));
        QCOMPARE(mdb.columns(table), columns);
        QCOMPARE(mdb.errorText(), QString());
    }

    void shouldRefuseATableThatIsNotThere_data()
    {
        QTest::addColumn<QString>("table");
        QTest::newRow("unknown") << "Vegetables";
        QTest::newRow("one space less") << "FruitSalad";
        QTest::newRow("one space more") << "Fruit  Salad";
        QTest::newRow("system table") << "MSysObjects";
        QTest::newRow("empty name") << "";
    }
    void shouldRefuseATableThatIsNotThere()
    {
        QFETCH(QString, table);
        MdbReader mdb;
        QVERIFY(mdb.open(Fixture));
        QVERIFY(mdb.columns(table).isEmpty());
        QVERIFY(mdb.errorText().contains(QStringLiteral("no table")));
        int calls = 0;
        QVERIFY(!mdb.readRows(table, [&](const QVariantList &) { return ++calls, true; }));
        QCOMPARE(calls, 0);
        QVERIFY(!mdb.errorText().isEmpty());
        // The file stays usable.
        QCOMPARE(mdb.columns(QStringLiteral("Dried")), QStringList{"Fruit"});
        QCOMPARE(mdb.errorText(), QString());
    }

    void shouldReadEveryRowWithTextsNumbersAndNulls()
    {
        MdbReader mdb;
        QVERIFY(mdb.open(Fixture));
        bool ok = false;
        const QList<QVariantList> rows = allRows(mdb, QStringLiteral("Fruit"), &ok);
        QVERIFY2(ok, qPrintable(mdb.errorText()));
        QCOMPARE(rows.size(), 37);
        for (const QVariantList &row : rows)
            QCOMPARE(row.size(), FruitColumns.size());

        // In stored order, the values as stored.
        QCOMPARE(rows.first(), fruitRow("Apple", {2, 0, 0, 12, 2, 15, 0, 0, 0, 0}));
        QCOMPARE(rows.at(1), fruitRow("Apricot", {2, 0, 1, 8, 420, 5, 0, 0, 0, 0}));
        QCOMPARE(rows.last(), fruitRow("Tomato", {1, 0, 1, 2, 140, 15, 0, 0, 0, 1}));
        const QVariantList apple = rows.first();
        QCOMPARE(apple.at(0).typeId(), QMetaType::QString);
        for (int i = 1; i < apple.size(); ++i)
            QCOMPARE(apple.at(i).typeId(), QMetaType::Int);

        // A comma and a slash stay in the text.
        QStringList names;
        for (const QVariantList &row : rows)
            names.append(row.first().toString());
        QVERIFY(names.contains(QStringLiteral("Grapefruit, Red")));
        QVERIFY(names.contains(QStringLiteral("Mandarin/Tangerine")));

        // NULL is a null QVariant, not 0.
        const QVariantList kumquat = rows.at(names.indexOf(QStringLiteral("Kumquat")));
        QCOMPARE(kumquat.at(8), QVariant(0));
        QVERIFY(!kumquat.at(8).isNull());
        QVERIFY(kumquat.at(9).isNull());
        QVERIFY(kumquat.at(10).isNull());
        QCOMPARE(kumquat.at(9), QVariant());
        const QVariantList passion = rows.at(names.indexOf(QStringLiteral("Passion Fruit")));
        QVERIFY(passion.at(9).isNull());
        QCOMPARE(passion.at(10), QVariant(0));

        int nullVitE = 0;
        int nullVitB6 = 0;
        int nullElsewhere = 0;
        for (const QVariantList &row : rows) {
            for (int i = 0; i < row.size(); ++i) {
                if (!row.at(i).isNull())
                    continue;
                if (i == 10)
                    ++nullVitE;
                else if (i == 9)
                    ++nullVitB6;
                else
                    ++nullElsewhere;
            }
        }
        QCOMPARE(nullVitE, 9);
        QCOMPARE(nullVitB6, 4);
        QCOMPARE(nullElsewhere, 0);
    }

    void shouldReadTheSmallTables_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("Veggie Salad") << "Veggie Salad"
                                      << QStringList{"Avocado", "Carrots", "Pepper, Red Bell", "Tomato"};
        QTest::newRow("Dried") << "Dried"
                               << QStringList{"Apple", "Apricot", "Banana", "Blueberry", "Cherry", "Cranberry",
                                              "Date", "Fig", "Grapes", "Peach", "Strawberry", "Tomato"};
    }
    void shouldReadTheSmallTables()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, values);
        MdbReader mdb;
        QVERIFY(mdb.open(Fixture));
        QStringList read;
        for (const QVariantList &row : allRows(mdb, table))
            read.append(row.value(0).toString());
        QCOMPARE(read, values);
    }

    void shouldStopWhenTheRowCallbackSaysSo()
    {
        MdbReader mdb;
        QVERIFY(mdb.open(Fixture));
        QStringList seen;
        QVERIFY(mdb.readRows(QStringLiteral("Fruit"), [&](const QVariantList &row) {
            seen.append(row.first().toString());
            return seen.size() < 3;
        }));
        QCOMPARE(seen, (QStringList{"Apple", "Apricot", "Avocado"}));
        // A later read starts again from the first row.
        QCOMPARE(allRows(mdb, QStringLiteral("Fruit")).size(), 37);
    }

    void shouldLetTheRowCallbackUseTheFileAgain()
    {
        // GIVEN a read of one table
        MdbReader mdb;
        QVERIFY(mdb.open(Fixture));
        const QList<QVariantList> expected = allRows(mdb, QStringLiteral("Fruit"));
        QList<QVariantList> rows;
        int inner = 0;
        // WHEN each row asks for columns and reads another table
        QVERIFY(mdb.readRows(QStringLiteral("Fruit"), [&](const QVariantList &row) {
            rows.append(row);
            if (mdb.columns(QStringLiteral("Fruit Salad")) != QStringList{"Fruit"})
                return false;
            inner += int(allRows(mdb, QStringLiteral("Veggie Salad")).size());
            return true;
        }));
        // THEN both reads are whole
        QCOMPARE(rows, expected);
        QCOMPARE(inner, 37 * 4);
    }

    void shouldFinishAReadWhenTheFileIsClosedMeanwhile()
    {
        MdbReader mdb;
        QVERIFY(mdb.open(Fixture));
        int calls = 0;
        QVERIFY(mdb.readRows(QStringLiteral("Dried"), [&](const QVariantList &) {
            if (++calls == 2)
                mdb.close();
            return true;
        }));
        QCOMPARE(calls, 12);
        QVERIFY(!mdb.isOpen());
    }

    void shouldForgetTheFileWhenClosed()
    {
        MdbReader mdb;
        QVERIFY(mdb.open(Fixture));
        QCOMPARE(mdb.path(), Fixture);
        mdb.close();
        QVERIFY(!mdb.isOpen());
        QVERIFY(mdb.tables().isEmpty());
        QVERIFY(mdb.columns(QStringLiteral("Fruit")).isEmpty());
        QVERIFY(!mdb.errorText().isEmpty());
        QVERIFY(!mdb.readRows(QStringLiteral("Fruit"), [](const QVariantList &) { return true; }));
        mdb.close(); // twice is harmless
        QVERIFY(mdb.open(Fixture));
        QCOMPARE(mdb.tables().size(), 5);
    }

    void shouldRefuseAMissingFileOrAFolder()
    {
        QTemporaryDir dir;
        MdbReader mdb;
        const QString missing = dir.filePath(QStringLiteral("Tallymere.mdb"));
        QVERIFY(!mdb.open(missing));
        QVERIFY(!mdb.isOpen());
        QVERIFY(mdb.errorText().contains(missing));
        QVERIFY(mdb.errorText().contains(QStringLiteral("does not exist")));
        QVERIFY(mdb.tables().isEmpty());

        QVERIFY(!mdb.open(dir.path()));
        QVERIFY(mdb.errorText().contains(QStringLiteral("not a file")));

        // A failed open closes what was open before.
        QVERIFY(mdb.open(Fixture));
        QVERIFY(!mdb.open(missing));
        QVERIFY(!mdb.isOpen());
        QVERIFY(mdb.tables().isEmpty());
    }

    void shouldRefuseFilesThatAreNotJetDatabases_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");

        QRandomGenerator random(20240611);
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        for (char &c : noise)
            c = char(random.bounded(256));
        QTest::newRow("random bytes") << noise << "not a Jet database";
        QTest::newRow("empty file") << QByteArray() << "not a Jet database";
        QTest::newRow("text file") << QByteArray("AccessionNumber,BookNumber\n1,2\n") << "not a Jet database";
        QByteArray sqlite("SQLite format 3");
        sqlite.append('\0').append(QByteArray(8192, '\0'));
        QTest::newRow("SQLite file") << sqlite << "not a Jet database";

        const QByteArray fruit = fixtureBytes();
        QByteArray future = fruit;
        future[0x14] = char(0x42);
        QTest::newRow("unknown version") << future << "unknown version";
    }
    void shouldRefuseFilesThatAreNotJetDatabases()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("bad.mdb"), bytes);
        QVERIFY(!path.isEmpty());
        MdbReader mdb;
        QVERIFY(!mdb.open(path));
        QVERIFY2(mdb.errorText().contains(error), qPrintable(mdb.errorText()));
        QVERIFY(mdb.errorText().contains(path));
        QVERIFY(mdb.tables().isEmpty());
    }

    void shouldNeverSilentlyLoseRowsOfACutShortFile_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("opens");
        // The fixture has 148 pages of 4096 bytes; its catalogue reaches
        // into page 59, and the pages after that are free.
        const qint64 full = QFileInfo(Fixture).size();
        const qint64 page = 4096;
        QTest::newRow("signature only") << qint64(100) << false;
        QTest::newRow("first page") << page << false;
        QTest::newRow("two pages") << 2 * page << false;
        QTest::newRow("catalogue definition") << 3 * page << false;
        QTest::newRow("ten pages") << 10 * page << false;
        QTest::newRow("a quarter") << (full / 4 / page) * page << false;
        QTest::newRow("half") << (full / 2 / page) * page << true;
        QTest::newRow("half and a bit") << (full / 2 / page) * page + 1000 << false;
        QTest::newRow("three quarters") << (full * 3 / 4 / page) * page << true;
        QTest::newRow("all but one page") << full - page << true;
        QTest::newRow("all but one byte") << full - 1 << false;
    }
    void shouldNeverSilentlyLoseRowsOfACutShortFile()
    {
        QFETCH(qint64, size);
        QFETCH(bool, opens);
        // GIVEN every row of every table of the whole file
        MdbReader whole;
        QVERIFY(whole.open(Fixture));
        QHash<QString, QList<QVariantList>> expected;
        for (const QString &table : whole.tables())
            expected.insert(table, allRows(whole, table));

        // WHEN a copy cut short is read
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("cut.mdb"), fixtureBytes().left(size));
        QVERIFY(!path.isEmpty());
        MdbReader mdb;
        QCOMPARE(mdb.open(path), opens);
        if (!opens) {
            QVERIFY(mdb.errorText().contains(QStringLiteral("cut short")));
            QVERIFY(mdb.tables().isEmpty());
            return;
        }
        // THEN each table either reads whole or says it cannot be read
        QCOMPARE(mdb.tables(), whole.tables());
        for (const QString &table : mdb.tables()) {
            QVERIFY(expected.contains(table));
            bool ok = false;
            const QList<QVariantList> rows = allRows(mdb, table, &ok);
            if (ok)
                QCOMPARE(rows, expected.value(table));
            else
                QVERIFY2(!mdb.errorText().isEmpty(), qPrintable(table));
        }
    }

    void shouldSurviveAJetHeaderOverGarbage()
    {
        // GIVEN a file with the fixture's first pages and random bytes after
        const QByteArray fruit = fixtureBytes();
        QRandomGenerator random(7);
        for (const qsizetype keep : {qsizetype(4096), qsizetype(3 * 4096), qsizetype(40 * 4096)}) {
            QByteArray bytes = fruit.left(keep);
            while (bytes.size() < fruit.size())
                bytes.append(char(random.bounded(256)));
            QTemporaryDir dir;
            const QString path = writeFile(dir, QStringLiteral("garbage.mdb"), bytes);
            // WHEN it is read as far as it goes
            MdbReader mdb;
            if (!mdb.open(path)) {
                QVERIFY(!mdb.errorText().isEmpty());
                continue;
            }
            for (const QString &table : mdb.tables()) {
                mdb.columns(table);
                allRows(mdb, table);
            }
            // THEN nothing crashed (AddressSanitizer checks the rest)
        }
    }

    void shouldTurnJetDatesIntoDatesAndTimes_data()
    {
        QTest::addColumn<double>("days");
        QTest::addColumn<QVariant>("value");

        const auto at = [](int y, int m, int d, int h, int min, int s, int ms = 0) {
            return QVariant(QDateTime(QDate(y, m, d), QTime(h, min, s, ms), QTimeZone::utc()));
        };
        QTest::newRow("day zero") << 0.0 << QVariant(QDate(1899, 12, 30));
        QTest::newRow("1 January 1900") << 2.0 << QVariant(QDate(1900, 1, 1));
        QTest::newRow("4 January 1900, 6 AM") << 5.25 << at(1900, 1, 4, 6, 0, 0);
        QTest::newRow("1 January 2000") << 36526.0 << QVariant(QDate(2000, 1, 1));
        QTest::newRow("1 January 2000, noon") << 36526.5 << at(2000, 1, 1, 12, 0, 0);
        QTest::newRow("a loan date") << 45363.0 << QVariant(QDate(2024, 3, 12));
        QTest::newRow("seconds kept") << 45000.0 + (13 * 3600 + 17 * 60 + 41) / 86400.0
                                      << at(2023, 3, 15, 13, 17, 41);
        QTest::newRow("a hair before midnight is midnight") << 45000.99999999999 << QVariant(QDate(2023, 3, 16));
        QTest::newRow("the day before day zero") << -1.0 << QVariant(QDate(1899, 12, 29));
        QTest::newRow("time runs forward before 1899") << -1.25 << at(1899, 12, 29, 6, 0, 0);
        QTest::newRow("18 December 1899, 6 PM") << -12.75 << at(1899, 12, 18, 18, 0, 0);
        QTest::newRow("minus a half is noon of day zero") << -0.5 << at(1899, 12, 30, 12, 0, 0);
        QTest::newRow("Jet's first day") << -657434.0 << QVariant(QDate(100, 1, 1));
        QTest::newRow("Jet's last day") << 2958465.0 << QVariant(QDate(9999, 12, 31));
        QTest::newRow("past Jet's range stays a number") << 2958466.0 << QVariant(2958466.0);
        QTest::newRow("before Jet's range stays a number") << -700000.0 << QVariant(-700000.0);
        QTest::newRow("infinity stays a number") << std::numeric_limits<double>::infinity()
                                                 << QVariant(std::numeric_limits<double>::infinity());
    }
    void shouldTurnJetDatesIntoDatesAndTimes()
    {
        QFETCH(double, days);
        QFETCH(QVariant, value);
        const QVariant read = MdbReader::fromJetDate(days);
        QCOMPARE(read.typeId(), value.typeId());
        QCOMPARE(read, value);
    }

    void shouldKeepANotANumberDateAsANumber()
    {
        const QVariant read = MdbReader::fromJetDate(std::nan(""));
        QCOMPARE(read.typeId(), QMetaType::Double);
        QVERIFY(std::isnan(read.toDouble()));
    }
};

QTEST_GUILESS_MAIN(MdbTest)
#include "tst_mdb.moc"
