#pragma once

#include "store/engine/schema.h"
#include "store/engine/storeerror.h"

#include <QDateTime>
#include <QList>
#include <QSqlError>
#include <QString>
#include <QStringList>

#include <functional>

// Copies of the stores, made while the desk program may be writing, put
// back while none is running; and the engine's own checks of each store.
namespace Backup {

// Called after each step of a copy: `done` pages of `total`.
using Progress = std::function<void(qint64 done, qint64 total)>;

// How many pages one step of a copy takes.
inline constexpr int PagesPerStep = 1024;

// What a copy reads: a store in use, shared with the programs writing it;
// or a backup, only read (it may sit on write-protected media), never given
// a journal or a log beside it, nor upgraded.
enum class Source { Store, Backup };

// Copies the store at `source` into the new file `target` (owner-only)
// through SQLite's online backup. The copy is the store as it stood when
// the copy began, every committed row and nothing half-written, even while
// other programs write; their writes are neither blocked nor restart it.
// Rowids are copied as they are. On failure no `target` is left. The copy
// is written through to the disk.
StoreError copyStore(const QString &source, const QString &target, const Progress &progress = {},
                    int pagesPerStep = PagesPerStep, Source from = Source::Store);

// The name of a backup made at `when`.
QString folderName(const QDateTime &when);

// Makes a new owner-only folder inside `parent` (made owner-only too when
// missing) for a backup under way since `when`: hidden, and named as
// unfinished, so that it never looks like a backup until finishFolder.
// Unfinished folders left there by programs that were killed are removed.
StoreError makeUnfinishedFolder(const QString &parent, const QDateTime &when, QString *made);
// Writes the backup in `unfinished` through to the disk and gives it its
// real name beside it, named by folderName (a number added if that name is
// taken); `*made` is its path.
StoreError finishFolder(const QString &unfinished, const QDateTime &when, QString *made);
// The unfinished backup folders inside `parent`, by name.
QStringList unfinishedFolders(const QString &parent);

// Copies both stores of `dataFolder` into a new folder inside `parent`,
// named for `when` (a number added if that name is taken); `*made` is its
// path. The folder appears under that name only when both stores are
// copied whole; on failure none is left.
StoreError backup(const QString &dataFolder, const QString &parent, QString *made, const Progress &progress = {},
                 const QDateTime &when = QDateTime::currentDateTime());

// Puts the stores of the backup `backupFolder` in place in `dataFolder`,
// refused while a desk program holds its lock there (see DeskLock). Each
// store it replaces is kept beside it under a name with `when` in it and
// listed in `*kept`. A copy made by an older program is upgraded, the
// backup itself only read; one made by a newer program, or one that fails
// its checks, is refused before anything is touched. The two stores change
// together: killed at any point, the next start finds the old pair or the
// new one (see StoreSwap).
StoreError restore(const QString &dataFolder, const QString &backupFolder, QStringList *kept,
                  const QDateTime &when = QDateTime::currentDateTime());

// Changing both stores together (the caller holds the desk lock alone and
// the install lock; see StoreSwap): stageStores copies the stores of the
// folder `from` (a data folder, or a backup) into `staging` and brings them
// up to this program's version; swapIn puts the pair staged in the data
// folder's StoreSwap::stagingName() in place of its stores, keeping those
// it replaces under names with `keepAs` in them (listed in `*kept`), or
// giving them up when `keepAs` is not valid.
StoreError stageStores(const QString &from, const QString &staging, Source source);
StoreError swapIn(const QString &dataFolder, const QDateTime &keepAs, QStringList *kept);

// Whether `backupFolder` holds both stores, whole, and none made by a newer
// program: the checks a restore makes before it touches anything.
StoreError checkBackup(const QString &backupFolder);

struct Finding {
    Schema::File file;
    bool ok = false;
    // What was found: "ok" or the faults, and the schema version.
    QString text;
};

// The engine's integrity check of each store of `dataFolder` (and of the
// catalogue's search index), with each store's schema version beside the
// one this program knows. A missing, damaged or newer store is a fault, and
// so is a store of this program's version that lacks a table, index,
// trigger, primary key or CHECK constraint that the program makes.
QList<Finding> check(const QString &dataFolder);

} // namespace Backup
