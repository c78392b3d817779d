#pragma once

#include "store/engine/schema.h"

#include <QString>
#include <QStringList>

// Where a desk keeps its stores: the two SQLite files of a data folder, or
// one PostgreSQL database shared by several desks. The program decides it
// once and hands it to everything that opens a store.
class StoreLocation
{
public:
    enum class Engine { Files, Server };

    StoreLocation() = default;
    // The files Transactions.db and Tallymere.db in `folder`.
    static StoreLocation files(const QString &folder);
    // A server database, given as a postgresql:// address, "service=NAME"
    // or libpq's key=value options.
    static StoreLocation server(const QString &connection);

    Engine engine() const { return m_engine; }
    bool isServer() const { return m_engine == Engine::Server; }
    bool isValid() const { return !m_where.isEmpty(); }

    // Files: the data folder. Server: the connection as given.
    QString folder() const { return isServer() ? QString() : m_where; }
    QString connection() const { return isServer() ? m_where : QString(); }
    // Files: the path of that store's file.
    QString path(Schema::File file) const;
    // How messages name the store: its file, or the server and database.
    QString name(Schema::File file) const;

private:
    Engine m_engine = Engine::Files;
    QString m_where;
};

// A server connection taken apart into what the QPSQL driver is given.
struct ServerOptions {
    QString host;
    int port = -1;
    QString user;
    QString password; // refused in the connection file; see Server::check
    QString database;
    // Every other libpq option (service, sslmode, ...), "key=value" each.
    QStringList options;
    QString error; // why the connection text could not be read

    bool ok() const { return error.isEmpty(); }
    // "database on host" for messages; a service is looked up, so that the
    // host it points to is named.
    QString describe() const;
    // The service named, if any.
    QString service() const;
    // The options other than host, port, user, password and database, as
    // the driver's connect options take them.
    QStringList extraOptions() const;
    // All of it as one libpq connection text, with the connect timeout.
    QString conninfo() const;
};

ServerOptions parseServerOptions(const QString &connection);
// A libpq option value, quoted where it needs it.
QString connectOptionValue(const QString &value);

// The desk's choice of store, kept in its data folder: without the
// connection file the desk uses the SQLite files beside it.
namespace DeskStore {

// The small settings files of a data folder: comment lines starting with #,
// and one line that is the value. `*value` is empty when the file is not
// there or holds no value; false, with `*error`, when it cannot be read.
bool readSetting(const QString &path, QString *value, QString *error = nullptr);
// Writes such a file (owner-only, whole or not at all).
bool writeSetting(const QString &path, const QStringList &comments, const QString &value, QString *error);

QString connectionFileName();
// The stores the desk of `dataFolder` uses; `*error` when its connection
// file cannot be read (the location is then invalid).
StoreLocation of(const QString &dataFolder, QString *error = nullptr);
// Writes `connection` as the desk's server (owner-only, whole or not at all).
bool useServer(const QString &dataFolder, const QString &connection, QString *error);
// Back to the SQLite files of the data folder.
bool useFiles(const QString &dataFolder, QString *error);

} // namespace DeskStore
