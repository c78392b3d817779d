#include "bench/benchsupport.h"

#include "store/database.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>

namespace Bench {

namespace {

const QString FillConnection = QStringLiteral("bench-fill");

// The INSERT … SELECT over a counter that makes the loans, with every text
// it stores bound in the order the marks stand.
struct FillStatement {
    QString sql;
    QVariantList params;
};

FillStatement fillStatement(int count)
{
    FillStatement s;
    auto bind = [&s](const QVariant &value) {
        s.params << value;
        return QStringLiteral("?");
    };
    const QString returned = QStringLiteral("i % 3 = 0");
    auto ifReturned = [&](const QString &expression) {
        return QStringLiteral("CASE WHEN %1 THEN %2 END").arg(returned, expression);
    };
    auto dayAfterStart = [&](const QString &days) {
        return QStringLiteral("date(%1, '+' || (%2) || ' days')").arg(bind(QStringLiteral("2020-06-01")), days);
    };

    QStringList columns;
    for (const QString &field : Schema::borrower().fields)
        columns << Schema::quoted(field);
    const QStringList values{
        QStringLiteral("printf(%1, i + 1)").arg(bind(QStringLiteral("A-%07d"))),
        QStringLiteral("%1 || (i % 50000)").arg(bind(QStringLiteral("BN-"))),
        QStringLiteral("%1 || (i % 20000)").arg(bind(QStringLiteral("Book title number "))),
        QStringLiteral("CASE i % 4 WHEN 0 THEN %1 WHEN 1 THEN %2 WHEN 2 THEN %3 ELSE %4 END")
            .arg(bind(QStringLiteral("FICTION")), bind(QStringLiteral("REFERENCE")),
                 bind(QStringLiteral("SCIENCE(Computer Books & Math)")), bind(QStringLiteral("WORLD HISTORY"))),
        QStringLiteral("%1 || (i % 7000)").arg(bind(QStringLiteral("Borrower "))),
        dayAfterStart(QStringLiteral("i % 1800")),
        ifReturned(bind(QStringLiteral("Returned"))),
        ifReturned(dayAfterStart(QStringLiteral("i % 1800 + 9"))),
        QStringLiteral("CASE WHEN i % 10 = 0 THEN %1 ELSE %2 END")
            .arg(bind(QStringLiteral("Staff")), bind(QStringLiteral("Student"))),
        QStringLiteral("CASE i % 3 WHEN 0 THEN %1 WHEN 1 THEN %2 ELSE %3 END")
            .arg(bind(QStringLiteral("2ICT1")), bind(QStringLiteral("1ECT2")), bind(QStringLiteral("WT"))),
        ifReturned(bind(QStringLiteral("OK"))),
        ifReturned(bind(QStringLiteral("9"))),
        ifReturned(bind(QStringLiteral("No"))),
        ifReturned(bind(QStringLiteral("0"))),
        ifReturned(bind(QStringLiteral("0"))),
    };
    Q_ASSERT(values.size() == columns.size());
    // The counter's limit is bound last: it stands last in the text.
    s.sql = QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM "
                           "(WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ?) "
                           "SELECT i FROM n)")
                .arg(Schema::quoted(Schema::borrower().name), columns.join(QLatin1Char(',')),
                     values.join(QLatin1Char(',')));
    s.params << count;
    return s;
}

QSqlError fillWith(QSqlDatabase &db, int count)
{
    QSqlQuery q(db);
    // Throw-away data: nothing need survive a crash while it is written.
    if (!q.exec(QStringLiteral("PRAGMA synchronous=OFF")))
        return q.lastError();
    if (!db.transaction())
        return db.lastError();
    const FillStatement s = fillStatement(count);
    q.prepare(s.sql);
    for (const QVariant &p : s.params)
        q.addBindValue(p);
    if (!q.exec()) {
        const QSqlError error = q.lastError();
        db.rollback();
        return error;
    }
    if (!db.commit())
        return db.lastError();
    if (!q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(Schema::quoted(Schema::borrower().name))) || !q.next())
        return q.lastError();
    if (q.value(0).toLongLong() != count)
        return QSqlError(QString(),
                         QStringLiteral("%1 loans were stored instead of %2").arg(q.value(0).toLongLong()).arg(count),
                         QSqlError::UnknownError);
    q.finish();
    // Measurements read the main file, not a long write-ahead log.
    if (!q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")))
        return q.lastError();
    return {};
}

} // namespace

QSqlError fillLoans(const QString &folder, int count)
{
    if (QSqlError error = Database::install(folder); error.isValid())
        return error;
    QSqlError error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FillConnection);
        db.setDatabaseName(QDir(folder).filePath(Schema::fileName(Schema::File::Tallymere)));
        error = db.open() ? fillWith(db, count) : db.lastError();
        db.close();
    }
    QSqlDatabase::removeDatabase(FillConnection);
    return error;
}

double peakMemoryMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

namespace {
QtMessageHandler platformHandler = nullptr;

void dropRaiseWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("This plugin does not support raise()"))
        return;
    if (platformHandler)
        platformHandler(type, context, message);
}
} // namespace

void quietenPlatform()
{
    platformHandler = qInstallMessageHandler(dropRaiseWarning);
}

bool waitFor(const std::function<bool()> &done, int limitMs)
{
    QElapsedTimer limit;
    limit.start();
    while (!done()) {
        if (limit.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

bool PaintCounter::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::Paint)
        ++paints;
    return false;
}

QProcessEnvironment childEnvironment(const QString &dataHome, const QString &runtimeFolder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (!env.contains(QStringLiteral("XDG_RUNTIME_DIR")))
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
    return env;
}

std::optional<QString> runChild(const QProcessEnvironment &env, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(), arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

Summary summarize(QList<double> values)
{
    Summary s;
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    s.median = n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
    s.best = values.first();
    return s;
}

QString ratio(double value, double floor)
{
    if (floor <= 0)
        return QStringLiteral("-");
    return QString::number(value / floor, 'f', 2) + QLatin1Char('x');
}

QString grouped(int number)
{
    return QLocale(QLocale::English).toString(number);
}

} // namespace Bench
