#pragma once

#include "store/schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

// Where the two database files live, how they are installed on first run,
// and how a record source opens its own connection to one of them.
namespace Database {

// Per-user data folder ($XDG_DATA_HOME/Tallymere on Linux).
QString dataFolder();
QString fileName(Schema::File file);
QString path(Schema::File file);

// Creates each missing database file with its tables and first rows.
// Files that exist are never touched. Returns an invalid error on success.
QSqlError install();

// A connection of its own for one record source, closed with it.
class Connection
{
public:
    explicit Connection(Schema::File file);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool open();
    void close();
    bool isOpen() const;
    QSqlDatabase database() const;
    QSqlError lastError() const { return m_error; }
    Schema::File file() const { return m_file; }

private:
    Schema::File m_file;
    QString m_name;
    QSqlError m_error;
};

// The column names of `table`, in table order; empty when it does not exist.
QStringList columns(const QSqlDatabase &db, const QString &table);

} // namespace Database
