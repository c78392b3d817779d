#pragma once

#include "store/schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

#include <functional>

// The database files: where the program keeps them, how they are installed
// on first run and upgraded later, and how a record source opens its own
// connection to one of them. Every function takes a folder or a file; only
// the program decides which folder is the desk's.
namespace Database {

// The folder the program's record sources use (set once at start).
void setFolder(const QString &folder);
QString folder();
// `file` in folder().
QString path(Schema::File file);

// Called now and then while a long upgrade works, so that the program can
// show its progress and stay responsive.
using Progress = std::function<void()>;

// Makes both stores in `folder` ready: a missing or empty store is created
// with its tables and first rows, an older one is upgraded, a newer one is
// refused; each keeps the journal journalFor() chooses. Several programs
// starting together install each store once.
// Returns an invalid error on success.
QSqlError install(const QString &folder, const Progress &progress = {});
// The same for one store file.
QSqlError installFile(const QString &path, Schema::File file, const Progress &progress = {});
// Runs the steps of `steps` that `path` lacks, all in one transaction.
QSqlError upgrade(const QString &path, const QList<Schema::Upgrade> &steps, const Progress &progress = {});
// The version recorded in the store at `path`, -1 (and `error`) on failure.
int version(const QString &path, QSqlError *error = nullptr);

// The journal a store keeps. WAL lets a desk read while another saves, but
// needs memory shared through the file system, which a network file system
// (NFS, SMB, ...) does not give: there the rollback journal is used.
enum class Journal { Wal, Rollback };

// The file-system type (statfs's f_type) of `folder`, -1 when unknown.
using FilesystemProbe = std::function<qint64(const QString &folder)>;
// Replaces the statfs probe (for tests); an empty probe restores it.
void setFilesystemProbe(FilesystemProbe probe);
bool isNetworkFilesystem(qint64 type);
// The journal the stores in `folder` should keep.
Journal journalFor(const QString &folder);
// The journal the store at `path` keeps now.
Journal journalOf(const QString &path, QSqlError *error = nullptr);

// A sentence that names `path` and the problem, with the engine's text kept
// as the detail.
QSqlError explain(const QString &path, const QSqlError &engine);
// The error as one line: its sentence, then the engine's detail when that
// adds something.
QString sentence(const QSqlError &error);

// A connection of its own for one record source, closed with it.
class Connection
{
public:
    explicit Connection(const QString &path);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool open();
    void close();
    bool isOpen() const;
    QSqlDatabase database() const;
    QSqlError lastError() const { return m_error; }
    QString path() const { return m_path; }

private:
    QString m_path;
    QString m_name;
    QSqlError m_error;
};

// The column names of `table`, in table order; empty when it does not exist.
QStringList columns(const QSqlDatabase &db, const QString &table);

} // namespace Database
