// The connections a store is reached through: one that lives for a
// function on a file, and one of its own for each record source.
#include "store/engine/database.h"

#include "store/engine/dialect.h"
#include "store/engine/serverlink.h"
#include "store/engine/sqlitesql.h"
#include "store/engine/storeerror.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QUrl>

#include <atomic>

namespace Database {

namespace {

QString nextConnectionName()
{
    // The daily backup opens its connections on a thread of its own.
    static std::atomic<quint64> counter{0};
    return QStringLiteral("tallymere-%1").arg(++counter);
}

} // namespace

FileConnection::FileConnection(const QString &path, Mode mode) : m_name(nextConnectionName())
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    if (mode == Mode::Backup) {
        QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        url.setQuery(QStringLiteral("mode=ro&immutable=1"));
        db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY"));
    } else {
        SqliteSql::configureFile(db, path);
    }
    db.open();
}

FileConnection::~FileConnection()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase FileConnection::db() const
{
    return QSqlDatabase::database(m_name, false);
}

Connection::Connection(const QString &path)
    : m_location(StoreLocation::files(QFileInfo(path).absolutePath())), m_path(path), m_name(nextConnectionName())
{
}

Connection::Connection(const StoreLocation &location, Schema::File file)
    : m_location(location), m_file(file), m_path(location.path(file)), m_name(nextConnectionName())
{
}

Connection::~Connection()
{
    close();
}

QString Connection::name() const
{
    // A server named by a service is looked up in its file once, not at
    // every message.
    if (m_label.isEmpty())
        m_label = m_path.isEmpty() ? m_location.name(m_file) : QDir::toNativeSeparators(m_path);
    return m_label;
}

StoreError Connection::explain(const StoreError &engine) const
{
    return StoreError::explain(Dialect::of(m_location).engine(), name(), engine);
}

StoreError Connection::timedOut(const StoreError &engine) const
{
    return StoreError::make(StoreError::Kind::Unreachable,
                            QStringLiteral("The server %1 did not answer within %2 seconds; try again when it is back.")
                                .arg(name())
                                .arg(ServerLink::AnswerLimitSeconds),
                            engine.detail());
}

bool Connection::open()
{
    if (isOpen())
        return true;
    const Dialect &dialect = Dialect::of(m_location);
    if (const StoreError missing = dialect.driverMissing(); missing.isValid()) {
        m_error = missing;
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(dialect.driver(), m_name);
    StoreError error = dialect.configure(db, m_location, m_path);
    QElapsedTimer waited;
    waited.start();
    if (!error.isValid() && !db.open())
        error = dialect.refusal(m_location, db.lastError(), waited.elapsed());
    if (!error.isValid()) {
        const ServerLink::Watch watch(db);
        error = dialect.prepare(db);
        if (watch.fired())
            error = timedOut(error);
    }
    if (error.isValid()) {
        m_error = explain(error);
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        return false;
    }
    m_error = StoreError();
    return true;
}

void Connection::close()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

} // namespace Database
