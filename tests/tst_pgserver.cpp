// The test server itself: a fresh database per case, reached through Qt's
// QPSQL driver, doing what the store will ask of it (quoted names with
// spaces, `?` placeholders, case-blind trigram search of Greek titles).
// Skipped when no server is configured.
#include "servertest.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace {

const QString Connection = QStringLiteral("pgserver");
const QString Cost = QStringLiteral("Cost or            (in Peso)");

QStringList titles(QSqlQuery &q)
{
    QStringList result;
    while (q.next())
        result << q.value(0).toString();
    return result;
}

} // namespace

class TestPgServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void quotedNameWithSpaces();
    void trigramSearchFoldsGreekCase();
    void dropWithOpenConnection();

private:
    QString m_database;
    QSqlDatabase db() const { return QSqlDatabase::database(Connection, false); }
    bool exec(const QString &sql, const QVariantList &params = {});
};

bool TestPgServer::exec(const QString &sql, const QVariantList &params)
{
    QSqlQuery q(db());
    // The server prepares no DDL: only statements with values go through prepare.
    if (params.isEmpty()) {
        if (q.exec(sql))
            return true;
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return false;
    }
    if (!q.prepare(sql)) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return false;
    }
    for (const QVariant &value : params)
        q.addBindValue(value);
    if (!q.exec()) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return false;
    }
    return true;
}

void TestPgServer::initTestCase()
{
    if (!TestServer::active())
        QSKIP("no test server (TALLYMERE_TEST_SERVER is not set)");
    QVERIFY2(QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")), "Qt's QPSQL driver is not installed");
}

void TestPgServer::init()
{
    m_database = TestServer::freshDatabase();
    QSqlDatabase c = TestServer::addDatabase(m_database, Connection);
    QVERIFY2(c.open(), qPrintable(c.lastError().text()));
}

void TestPgServer::cleanup()
{
    QSqlDatabase::database(Connection, false).close();
    QSqlDatabase::removeDatabase(Connection);
    if (!m_database.isEmpty())
        TestServer::dropDatabase(m_database);
    m_database.clear();
}

void TestPgServer::quotedNameWithSpaces()
{
    QVERIFY(exec(QStringLiteral("CREATE TABLE \"Books\" (\"Id\" serial PRIMARY KEY, \"Title\" text, \"%1\" numeric(10,2))")
                     .arg(Cost)));
    QVERIFY(exec(QStringLiteral("INSERT INTO \"Books\" (\"Title\", \"%1\") VALUES (?, ?)").arg(Cost),
                 {QStringLiteral("Ἰλιάς"), QStringLiteral("12.50")}));
    QVERIFY(exec(QStringLiteral("INSERT INTO \"Books\" (\"Title\", \"%1\") VALUES (?, ?)").arg(Cost),
                 {QStringLiteral("Nothing owed"), QVariant()}));

    QSqlQuery q(db());
    QVERIFY(q.exec(QStringLiteral("SELECT \"Title\", \"%1\" FROM \"Books\" ORDER BY \"Id\"").arg(Cost)));
    QCOMPARE(q.record().fieldName(1), Cost);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("Ἰλιάς"));
    QCOMPARE(q.value(1).toDouble(), 12.5);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("Nothing owed"));
    QVERIFY(q.value(1).isNull());
    QVERIFY(!q.next());
}

void TestPgServer::trigramSearchFoldsGreekCase()
{
    QSqlQuery q(db());
    QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM pg_extension WHERE extname = 'pg_trgm'")));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1);

    QVERIFY(exec(QStringLiteral("CREATE TABLE \"Books\" (\"Id\" serial PRIMARY KEY, \"Title\" text)")));
    QVERIFY(exec(QStringLiteral("CREATE INDEX \"Books_Title_trgm\" ON \"Books\" USING gin (\"Title\" gin_trgm_ops)")));
    const QStringList stored{QStringLiteral("ΚΑΛΗ ΜΕΡΑ"), QStringLiteral("Η καλη νύχτα"), QStringLiteral("Κακή μέρα"),
                             QStringLiteral("Good day")};
    for (const QString &title : stored)
        QVERIFY(exec(QStringLiteral("INSERT INTO \"Books\" (\"Title\") VALUES (?)"), {title}));

    QVERIFY(q.exec(QStringLiteral("SELECT indexdef FROM pg_indexes WHERE indexname = 'Books_Title_trgm'")));
    QVERIFY(q.next());
    QVERIFY2(q.value(0).toString().contains(QLatin1String("USING gin")), qPrintable(q.value(0).toString()));
    QVERIFY2(q.value(0).toString().contains(QLatin1String("gin_trgm_ops")), qPrintable(q.value(0).toString()));

    // Four rows would be read straight through; without the sequential
    // scan the rows come through the index, which must fold case itself.
    QVERIFY(q.exec(QStringLiteral("SET enable_seqscan = off")));
    const QString search = QStringLiteral("SELECT \"Title\" FROM \"Books\" WHERE \"Title\" ILIKE ? ORDER BY \"Id\"");
    // EXPLAIN cannot be prepared: the pattern goes in as text.
    QVERIFY2(q.exec(QStringLiteral("EXPLAIN ") + QString(search).replace(QLatin1Char('?'), QStringLiteral("'%ΚΑΛΗ%'"))),
             qPrintable(q.lastError().text()));
    const QString plan = titles(q).join(QLatin1Char('\n'));
    QVERIFY2(plan.contains(QLatin1String("Books_Title_trgm")), qPrintable(plan));

    const QStringList expected{QStringLiteral("ΚΑΛΗ ΜΕΡΑ"), QStringLiteral("Η καλη νύχτα")};
    for (const QString &pattern : {QStringLiteral("%ΚΑΛΗ%"), QStringLiteral("%καλη%")}) {
        QVERIFY(q.prepare(search));
        q.addBindValue(pattern);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        QCOMPARE(titles(q), expected);
    }
}

void TestPgServer::dropWithOpenConnection()
{
    QVERIFY(exec(QStringLiteral("CREATE TABLE \"Kept\" (\"Id\" integer)")));
    // The connection stays open: the drop has to end it.
    TestServer::dropDatabase(m_database);

    const QString observer = QStringLiteral("pgserver-observer");
    {
        QSqlDatabase o = TestServer::addDatabase(QStringLiteral("postgres"), observer);
        QVERIFY2(o.open(), qPrintable(o.lastError().text()));
        QSqlQuery q(o);
        QVERIFY(q.prepare(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = ?")));
        q.addBindValue(m_database);
        QVERIFY(q.exec());
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);
    }
    QSqlDatabase::removeDatabase(observer);
    m_database.clear();
}

QTEST_GUILESS_MAIN(TestPgServer)
#include "tst_pgserver.moc"
