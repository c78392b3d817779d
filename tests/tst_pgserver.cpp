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

// The rows' first values. The server prepares no DDL: only statements with
// values go through prepare.
QStringList run(const QSqlDatabase &db, const QString &sql, const QVariantList &params = {}, bool *ok = nullptr)
{
    QSqlQuery q(db);
    bool done = params.isEmpty() ? q.exec(sql) : q.prepare(sql);
    for (const QVariant &value : params)
        q.addBindValue(value);
    done = done && (params.isEmpty() || q.exec());
    if (!done)
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    if (ok)
        *ok = done;
    QStringList values;
    while (done && q.next())
        values << (q.value(0).isNull() ? QStringLiteral("NULL") : q.value(0).toString());
    return values;
}

} // namespace

class TestPgServer : public QObject
{
    Q_OBJECT

    QString m_database;
    QSqlDatabase db() const { return QSqlDatabase::database(Connection, false); }
    bool exec(const QString &sql, const QVariantList &params = {})
    {
        bool ok = false;
        run(db(), sql, params, &ok);
        return ok;
    }

private slots:
    void initTestCase()
    {
        if (!TestServer::active())
            QSKIP("no test server (TALLYMERE_TEST_SERVER is not set)");
        QVERIFY2(QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")), "Qt's QPSQL driver is not installed");
    }
    void init()
    {
        m_database = TestServer::freshDatabase();
        QSqlDatabase c = TestServer::addDatabase(m_database, Connection);
        QVERIFY2(c.open(), qPrintable(c.lastError().text()));
    }
    void cleanup()
    {
        QSqlDatabase::database(Connection, false).close();
        QSqlDatabase::removeDatabase(Connection);
        if (!m_database.isEmpty())
            TestServer::dropDatabase(m_database);
        m_database.clear();
    }

    void quotedNameWithSpaces()
    {
        QVERIFY(exec(QStringLiteral("CREATE TABLE \"Books\" (\"Id\" serial PRIMARY KEY, \"Title\" text, \"%1\" numeric(10,2))").arg(Cost)));
        const QString insert = QStringLiteral("INSERT INTO \"Books\" (\"Title\", \"%1\") VALUES (?, ?)").arg(Cost);
        QVERIFY(exec(insert, {QStringLiteral("Ἰλιάς"), QStringLiteral("12.50")}) && exec(insert, {QStringLiteral("Nothing owed"), QVariant()}));
        QSqlQuery q(db());
        QVERIFY(q.exec(QStringLiteral("SELECT \"Title\", \"%1\" FROM \"Books\" ORDER BY \"Id\"").arg(Cost)));
        QCOMPARE(q.record().fieldName(1), Cost);
        QVERIFY(q.next() && q.value(0).toString() == QStringLiteral("Ἰλιάς") && q.value(1).toDouble() == 12.5);
        QVERIFY(q.next() && q.value(0).toString() == QStringLiteral("Nothing owed") && q.value(1).isNull());
        QVERIFY(!q.next());
    }

    void trigramSearchFoldsGreekCase()
    {
        // The index cannot be made without pg_trgm in the fresh database.
        QVERIFY(exec(QStringLiteral("CREATE TABLE \"Books\" (\"Id\" serial PRIMARY KEY, \"Title\" text)")));
        QVERIFY(exec(QStringLiteral("CREATE INDEX \"Books_Title_trgm\" ON \"Books\" USING gin (\"Title\" gin_trgm_ops)")));
        for (const char *title : {"ΚΑΛΗ ΜΕΡΑ", "Η καλη νύχτα", "Κακή μέρα", "Good day"})
            QVERIFY(exec(QStringLiteral("INSERT INTO \"Books\" (\"Title\") VALUES (?)"), {QString::fromUtf8(title)}));
        // Four rows would be read straight through; without the sequential
        // scan the rows come through the index, which must fold case itself.
        QVERIFY(exec(QStringLiteral("SET enable_seqscan = off")));
        const QString search = QStringLiteral("SELECT \"Title\" FROM \"Books\" WHERE \"Title\" ILIKE ? ORDER BY \"Id\"");
        // EXPLAIN cannot be prepared: the pattern goes in as text.
        const QString plan = run(db(), QStringLiteral("EXPLAIN ") + QString(search).replace(QLatin1Char('?'), QStringLiteral("'%ΚΑΛΗ%'"))).join('\n');
        QVERIFY2(plan.contains(QLatin1String("Books_Title_trgm")), qPrintable(plan));
        for (const QString &pattern : {QStringLiteral("%ΚΑΛΗ%"), QStringLiteral("%καλη%")})
            QCOMPARE(run(db(), search, {pattern}), (QStringList{QStringLiteral("ΚΑΛΗ ΜΕΡΑ"), QStringLiteral("Η καλη νύχτα")}));
    }

    void dropWithOpenConnection()
    {
        QVERIFY(exec(QStringLiteral("CREATE TABLE \"Kept\" (\"Id\" integer)")));
        // The connection stays open: the drop has to end it.
        TestServer::dropDatabase(m_database);
        const QString observer = QStringLiteral("pgserver-observer");
        {
            QSqlDatabase o = TestServer::addDatabase(QStringLiteral("postgres"), observer);
            QVERIFY2(o.open(), qPrintable(o.lastError().text()));
            QCOMPARE(run(o, QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = ?"), {m_database}), QStringList{"0"});
        }
        QSqlDatabase::removeDatabase(observer);
        m_database.clear();
    }
};

QTEST_GUILESS_MAIN(TestPgServer)
#include "tst_pgserver.moc"
