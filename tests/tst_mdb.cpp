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
#include <QtEndian>

#include <cmath>
#include <cstring>
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

// The fixture has only Text and Long Integer columns. To read the other
// kinds through libmdb as well, a copy of it gets some of table Fruit's
// columns retyped in the table's definition (a Jet 4 page: the column
// entries of 25 bytes, kind at byte 0, fixed offset at 21, size at 23) and
// the stored bytes of some rows set to chosen values. An 8-byte kind spans
// its column and the next one, which keeps reading its own 4 bytes.
class RetypedFruit
{
public:
    static constexpr int Page = 4096;

    RetypedFruit()
        : m_bytes(fixtureBytes())
    {
        const QByteArray columnName = QByteArray("P\0r\0o\0t\0i\0e\0n\0", 14); // UTF-16, unique
        m_definition = m_bytes.indexOf(columnName) / Page;
        ok = m_definition > 0 && m_bytes.at(m_definition * Page) == 2;
    }

    // Column `index` of Fruit (0 is the text column Fruit) becomes `kind`.
    void retype(int index, int kind, int size)
    {
        const qsizetype entry = columnEntry(index);
        m_bytes[entry] = char(kind);
        qToLittleEndian<quint16>(quint16(size), m_bytes.data() + entry + 23);
    }

    // Stores `value` at column `index`'s place in the row of `fruit`.
    template<typename T>
    void store(const QString &fruit, int index, T value)
    {
        const qsizetype row = rowStart(fruit);
        ok = ok && row > 0;
        if (row <= 0)
            return;
        const qsizetype fixedOffset = word16(columnEntry(index) + 21);
        std::memcpy(m_bytes.data() + row + 2 + fixedOffset, &value, sizeof value);
    }

    QByteArray bytes() const { return m_bytes; }
    bool ok = false;

private:
    qsizetype columnEntry(int index) const
    {
        const qsizetype page = m_definition * Page;
        const quint32 realIndexes = word32(page + 51);
        return page + 63 + qsizetype(realIndexes) * 12 + index * 25;
    }

    // The start of the row of Fruit whose text is `fruit` (stored as Jet 4
    // compressed text: FF FE, then one byte a character).
    qsizetype rowStart(const QString &fruit) const
    {
        const QByteArray text = QByteArray("\xff\xfe") + fruit.toLatin1();
        for (qsizetype at = m_bytes.indexOf(text); at >= 0; at = m_bytes.indexOf(text, at + 1)) {
            const qsizetype page = at / Page * Page;
            if (m_bytes.at(page) != 1 || word32(page + 4) != quint32(m_definition))
                continue; // not a data page of Fruit
            // The row offsets follow the row count at 12; row i ends where
            // row i - 1 starts.
            const int rows = word16(page + 12);
            for (int i = 0; i < rows; ++i) {
                const qsizetype start = page + (word16(page + 14 + 2 * i) & 0x1fff);
                const qsizetype end = i == 0 ? page + Page : page + (word16(page + 12 + 2 * i) & 0x1fff);
                if (at >= start && at < end)
                    return start;
            }
        }
        return -1;
    }

    quint16 word16(qsizetype at) const { return qFromLittleEndian<quint16>(m_bytes.constData() + at); }
    quint32 word32(qsizetype at) const { return qFromLittleEndian<quint32>(m_bytes.constData() + at); }

    QByteArray m_bytes;
    qsizetype m_definition = 0;
};
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

    void shouldReadDatesMoneyAndFractionsFromStoredBytes()
    {
        // GIVEN a copy of the fixture with Fiber a Date/Time, Sugar a Single,
        // Vit A a Currency, Vit B1 a Double and Vit B6 a Date/Time
        RetypedFruit fruit;
        QVERIFY(fruit.ok);
        fruit.retype(1, 0x08, 8);
        fruit.retype(4, 0x06, 4);
        fruit.retype(5, 0x05, 8);
        fruit.retype(7, 0x07, 8);
        fruit.retype(9, 0x08, 8);
        fruit.store(QStringLiteral("Apple"), 1, 36526.5);      // 1 January 2000, noon
        fruit.store(QStringLiteral("Avocado"), 1, 45363.0);    // 12 March 2024
        fruit.store(QStringLiteral("Banana"), 1, -1.25);       // 29 December 1899, 6 AM
        fruit.store(QStringLiteral("Apple"), 4, 12.5f);
        fruit.store(QStringLiteral("Apple"), 5, qint64(123456789)); // 12345.6789
        fruit.store(QStringLiteral("Apple"), 7, 2.5);
        fruit.store(QStringLiteral("Apple"), 9, 45000.0 + (13 * 3600 + 17 * 60 + 41) / 86400.0);
        QVERIFY(fruit.ok);
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("retyped.mdb"), fruit.bytes());

        // WHEN its rows are read
        MdbReader mdb;
        QVERIFY2(mdb.open(path), qPrintable(mdb.errorText()));
        QCOMPARE(mdb.columns(QStringLiteral("Fruit")), FruitColumns);
        QHash<QString, QVariantList> rows;
        bool ok = false;
        for (const QVariantList &row : allRows(mdb, QStringLiteral("Fruit"), &ok))
            rows.insert(row.first().toString(), row);
        QVERIFY2(ok, qPrintable(mdb.errorText()));
        QCOMPARE(rows.size(), 37);

        // THEN each value has its kind's type, decoded from the stored bytes
        const QVariantList apple = rows.value(QStringLiteral("Apple"));
        QCOMPARE(apple.at(1), QVariant(QDateTime(QDate(2000, 1, 1), QTime(12, 0), QTimeZone::utc())));
        QCOMPARE(apple.at(4).typeId(), QMetaType::Float);
        QCOMPARE(apple.at(4).toFloat(), 12.5f);
        QCOMPARE(apple.at(5).typeId(), QMetaType::Double);
        QCOMPARE(apple.at(5).toDouble(), 12345.6789);
        QCOMPARE(apple.at(7).typeId(), QMetaType::Double);
        QCOMPARE(apple.at(7).toDouble(), 2.5);
        QCOMPARE(apple.at(9), QVariant(QDateTime(QDate(2023, 3, 15), QTime(13, 17, 41), QTimeZone::utc())));
        QCOMPARE(rows.value(QStringLiteral("Avocado")).at(1), QVariant(QDate(2024, 3, 12)));
        QCOMPARE(rows.value(QStringLiteral("Avocado")).at(1).typeId(), QMetaType::QDate);
        QCOMPARE(rows.value(QStringLiteral("Banana")).at(1),
                 QVariant(QDateTime(QDate(1899, 12, 29), QTime(6, 0), QTimeZone::utc())));
        // A NULL stays NULL whatever the column's kind.
        QVERIFY(rows.value(QStringLiteral("Kumquat")).at(9).isNull());
        // The columns left alone read as before.
        QCOMPARE(apple.at(0), QVariant(QStringLiteral("Apple")));
        QCOMPARE(apple.at(3), QVariant(0));
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
