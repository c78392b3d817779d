#pragma once

#include "store/engine/storeerror.h"

#include <QList>
#include <QSqlError>
#include <QString>

// Putting new store files in place of the old ones so that the pair changes
// together. Before the first rename an intent file naming every rename is
// written and synced with its folder; the renames follow, and the intent is
// removed last. A swap cut short (a killed program, a power cut) is finished
// by the next program that installs the stores of that folder, under the
// install lock, before anything opens them: every new file was complete and
// synced before the intent was written, so going forward is always possible.
//
// (The other way, building the new pair in a folder of its own and switching
// folders with one rename, would move the desk's lock, server address and
// backups with it; renaming two files under an intent leaves them alone.)
namespace StoreSwap {

struct Move {
    // File names inside the data folder: the store, its new file (a path
    // relative to the folder), and the name the old store is kept under
    // (empty when there is no old store to keep).
    QString store;
    QString replacement;
    QString kept;
};

// Puts each replacement in place of its store in `folder`, keeping the old
// store under its kept name. The caller holds the install lock and no
// program has the stores open.
StoreError apply(const QString &folder, const QList<Move> &moves);

// Finishes a swap in `folder` that was cut short, if there is one. The
// caller holds the install lock. `*finished` tells whether one was.
StoreError finish(const QString &folder, bool *finished = nullptr);

// The folder inside the data folder where the new files are made ready.
QString stagingName();

// The intent file's name in the data folder.
QString intentName();

// Writes the file or the folder's list of names through to the disk.
bool syncFile(const QString &path);
bool syncFolder(const QString &path);

} // namespace StoreSwap
