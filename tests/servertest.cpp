#include "servertest.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace TestServer {

namespace {

const char *const Variable = "TALLYMERE_TEST_SERVER";

// Runs each of `statements` in `database`, one by one (CREATE DATABASE
// refuses to share a transaction). Each call has its own connection: none outlives
// the call, so none is left open at program exit.
void administer(const QString &database, const QStringList &statements)
{
    const QString name = QStringLiteral("testserver-admin");
    {
        QSqlDatabase db = addDatabase(database, name);
        if (!db.open())
            qFatal("cannot reach the test server (%s): %s", qPrintable(options()),
                   qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        // "does not exist, skipping" and the like would only clutter the log.
        q.exec(QStringLiteral("SET client_min_messages = warning"));
        for (const QString &sql : statements) {
            if (!q.exec(sql))
                qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        }
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

bool active()
{
    return qEnvironmentVariableIsSet(Variable);
}

QString options()
{
    return qEnvironmentVariable(Variable);
}

QSqlDatabase addDatabase(const QString &database, const QString &connectionName)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    db.setDatabaseName(database);
    // A server that does not answer fails the test instead of hanging it.
    QStringList extra{QStringLiteral("connect_timeout=5")};
    const QStringList pairs = options().simplified().split(QLatin1Char(' '));
    for (const QString &pair : pairs) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        const QString key = pair.left(eq);
        const QString value = eq < 0 ? QString() : pair.mid(eq + 1);
        if (key == QLatin1String("host"))
            db.setHostName(value);
        else if (key == QLatin1String("port"))
            db.setPort(value.toInt());
        else if (key == QLatin1String("user"))
            db.setUserName(value);
        else if (key == QLatin1String("password"))
            db.setPassword(value);
        else if (key == QLatin1String("dbname"))
            ; // the caller names the database
        else
            extra << pair;
    }
    db.setConnectOptions(extra.join(QLatin1Char(';')));
    return db;
}

QString freshDatabase()
{
    if (!active())
        qFatal("%s is not set: no test server", Variable);
    static int counter = 0;
    const QString name = QStringLiteral("t_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    // One left by a crashed run whose pid this one has been given again.
    administer(QStringLiteral("postgres"),
               {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name),
                QStringLiteral("CREATE DATABASE %1 TEMPLATE template1").arg(name)});
    // pgcluster.sh puts pg_trgm in template1, so the copy has it and this
    // costs only a lookup; another server gets it here.
    administer(name, {QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm")});
    return name;
}

void restart()
{
    QProcess script;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGCLUSTER_PORT"), QStringLiteral(PGCLUSTER_PORT));
    script.setProcessEnvironment(environment);
    script.start(QStringLiteral("sh"), {QStringLiteral(PGCLUSTER_SCRIPT), QStringLiteral("restart"), QStringLiteral(PGCLUSTER_DIR)});
    if (!script.waitForFinished(120000) || script.exitCode() != 0)
        qFatal("the test server did not restart: %s", script.readAllStandardError().constData());
}

QList<qint64> deskBackends(const QString &database)
{
    const QString name = QStringLiteral("testserver-backends");
    QList<qint64> pids;
    {
        QSqlDatabase db = addDatabase(QStringLiteral("postgres"), name);
        QSqlQuery q(db);
        if (!db.open() || !q.prepare(QStringLiteral("SELECT pid FROM pg_stat_activity"
                                                    " WHERE application_name LIKE 'Tallymere@%' AND datname = ?")))
            qFatal("cannot reach the test server: %s", qPrintable(db.lastError().text()));
        q.addBindValue(database);
        if (!q.exec())
            qFatal("cannot list the desk's connections: %s", qPrintable(q.lastError().text()));
        while (q.next())
            pids << q.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(name);
    return pids;
}

void dropDatabase(const QString &name)
{
    administer(QStringLiteral("postgres"), {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name)});
}

} // namespace TestServer
