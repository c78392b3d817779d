#pragma once

#include "store/engine/location.h"
#include "store/engine/schema.h"
#include "store/engine/storeerror.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

#include <functional>
#include <memory>

class QLockFile;

// The stores: how they are installed on first run and upgraded later, and
// how a record source opens its own connection to one. Every function is
// given the store it works on; only the program decides which is the desk's.
// Made in database.cpp (what both engines share), fileinstall.cpp (the
// files) and connection.cpp; the server's own install is in serverstore.cpp.
namespace Database {

// Called now and then while a long upgrade works, so that the program can
// show its progress and stay responsive.
using Progress = std::function<void()>;

// Makes the stores of `location` ready: a folder holding neither store gets
// both, with their tables and first rows (an empty file counts as none); a
// folder holding one store without the other is refused, naming the missing
// one and the restore that brings it back, and nothing is made. An older
// store is upgraded, a newer one is refused. A change of the store files cut
// short is finished first (see recover). Files keep the journal journalFor() chooses. Several programs
// starting together install each store once. A catalogue whose search
// triggers were lost has its search index made anew.
// Returns an invalid error on success.
StoreError install(const StoreLocation &location, const Progress &progress = {});
// The two files in `folder`.
StoreError install(const QString &folder, const Progress &progress = {});
// The same for one store file (whatever the other holds).
StoreError installFile(const QString &path, Schema::File file, const Progress &progress = {});
// Runs the steps of `steps` that `path` lacks, all in one transaction.
StoreError upgrade(const QString &path, const QList<Schema::Upgrade> &steps, const Progress &progress = {});
// The version recorded in the store at `path`, -1 (and `error`) on failure.
int version(const QString &path, StoreError *error = nullptr);

// Held while the stores of a data folder are made, upgraded or swapped, so
// that two programs never do so at once and nothing opens a store meanwhile.
// A lock left by a program that was killed is taken over.
class InstallLock
{
public:
    // `waiting` is called once when another program holds the lock, before
    // this one waits for it.
    explicit InstallLock(const QString &folder, const std::function<void()> &waiting = {});
    ~InstallLock();
    InstallLock(const InstallLock &) = delete;
    InstallLock &operator=(const InstallLock &) = delete;

    bool isHeld() const { return !m_error.isValid(); }
    StoreError error() const { return m_error; }

private:
    std::unique_ptr<QLockFile> m_lock;
    StoreError m_error;
};

// Finishes a change of the store files in `folder` that a killed program
// left (see StoreSwap) and removes the partial files such a program leaves,
// taking the install lock; `recoverHeld` when the caller holds it.
StoreError recover(const QString &folder);
StoreError recoverHeld(const QString &folder);
// The unfinished files a killed program left in `folder`, as names inside it.
QStringList leftovers(const QString &folder);
// Refuses a folder holding one store without the other (see install).
StoreError checkPair(const QString &folder);

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
Journal journalOf(const QString &path, StoreError *error = nullptr);

// Makes the catalogue's search index anew from books, with its triggers
// where the engine keeps it by triggers; `*done` says what was done.
StoreError repairSearch(const StoreLocation &location, QString *done, const Progress &progress = {});
// Whether the catalogue lacks any part of its search index (a look at the
// engine's catalogue of objects, not at the rows).
bool searchIsIncomplete(const StoreLocation &location, StoreError *error = nullptr);

// Makes the loan history's triggers anew (its rows kept); `*done` says
// what was done. Whether the loan store lacks any of them.
StoreError repairHistory(const StoreLocation &location, QString *done);
bool historyIsIncomplete(const StoreLocation &location, StoreError *error = nullptr);

// A sentence that names the store file `path` and the problem, with the
// engine's text kept as the detail.
StoreError explain(const QString &path, const StoreError &engine);

// A connection to a SQLite file that lives for one function, opened when
// made (db() tells whether it is open) and removed when it goes.
class FileConnection
{
public:
    enum class Mode {
        // Shared with the programs that use the store.
        Shared,
        // Read-only and immutable, for a backup: the engine makes no journal,
        // log or lock file beside it and never writes to it, so a backup on
        // write-protected media can be read, and reading one leaves it as it was.
        Backup,
    };
    explicit FileConnection(const QString &path, Mode mode = Mode::Shared);
    ~FileConnection();
    FileConnection(const FileConnection &) = delete;
    FileConnection &operator=(const FileConnection &) = delete;
    QSqlDatabase db() const;

private:
    QString m_name;
};

// A connection of its own for one record source, closed with it.
class Connection
{
public:
    // The SQLite file at `path`.
    explicit Connection(const QString &path);
    // The store of `location` that holds `file`'s tables.
    Connection(const StoreLocation &location, Schema::File file);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool open();
    void close();
    bool isOpen() const;
    QSqlDatabase database() const;
    StoreError lastError() const { return m_error; }
    // The file's path; empty on a server.
    QString path() const { return m_path; }
    // How messages name the store.
    QString name() const;
    StoreLocation location() const { return m_location; }
    Schema::File file() const { return m_file; }
    // The engine's error, classified and naming this store.
    StoreError explain(const StoreError &engine) const;
    // The error of a call the server did not answer in time (see
    // ServerLink::Watch), `engine` the driver's words for the broken call.
    StoreError timedOut(const StoreError &engine) const;

private:
    StoreLocation m_location;
    Schema::File m_file = Schema::File::Tallymere;
    QString m_path;
    QString m_name;
    mutable QString m_label; // name(), once asked
    StoreError m_error;
};

// A table, index or trigger of a store file.
struct SchemaObject {
    QString type;
    QString name;
    QString sql;
    // A table's primary key columns.
    QStringList key;
};
// What a store file of this program's version holds besides its rows.
const QList<SchemaObject> &expectedObjects(Schema::File file);
// What the store open on `db` holds.
QList<SchemaObject> objectsOf(const QSqlDatabase &db);

// The column names of `table` that the program shows (the hidden ones left
// out), in table order; empty when it does not exist.
QStringList columns(const QSqlDatabase &db, const QString &table);

// Stores made by a newer program: how a check names one, and the sentence
// that refuses one, `name` naming it, `version` its version and `known`
// the highest this program knows.
QString madeByNewer();
QString newerStore(const QString &name, int version, int known);

} // namespace Database
