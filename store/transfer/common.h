#pragma once

#include "store/transfer/transfer.h"

#include "store/engine/database.h"
#include "store/engine/desklock.h"
#include "store/engine/location.h"
#include "store/engine/storeerror.h"

#include <QFileDevice>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

#include <optional>

// What the transfers share, and what the admin tool asks of the stores in
// the same words.
namespace Transfer {

// How messages name the stores as a whole: "the stores in FOLDER", or "the
// stores on the server NAME".
QString storesName(const StoreLocation &stores);

// Takes the desk lock of `dataFolder` shared, as a desk program holds it, so
// that no restore swaps the stores under the work.
bool lockDesk(std::optional<DeskLock> &lock, const QString &dataFolder, QString *error);
// Takes it alone: refused while a desk program has the stores open.
bool lockDeskAlone(std::optional<DeskLock> &lock, const QString &dataFolder, QString *error);

// Rows between two progress reports.
inline constexpr qint64 ReportEvery = 1000;

using Paths::native;

// A field's name as messages quote it, and several, comma-separated.
QString quotedName(const QString &name);
QString quotedNames(const QStringList &names);
// "s" for more than one.
QString plural(qsizetype count);

// Why `file` at `path` could not be written; a full disk by name.
QString cannotWrite(const QString &path, const QFileDevice &file);

// A null text, as the store keeps a missing value.
QVariant nullText();
// Whether `text` is longer than the store keeps, and the sentence that says
// so of `field`.
bool tooLong(const QString &text);
QString tooLongText(const QString &field, const QString &text);

// Opens `connection`, or says why not.
bool openStore(Database::Connection &connection, QString *error);
// Runs `sql` on `db`, or says why not in the engine's words.
bool exec(QSqlDatabase &db, const QString &sql, QString *error);
// Runs `statements` on `connection`, or says why not.
bool execOn(const Database::Connection &connection, const QStringList &statements, QString *error);
// Makes the stores of `stores` ready to be written: installed, or brought
// up to this program's version.
bool installStores(const StoreLocation &stores, QString *error);
// Refuses the store of `file` open on `store` (named `name`) when a newer
// program made it.
bool checkVersion(const Database::Connection &store, Schema::File file, const QString &name, QString *error);

// Backs up the stores of `stores` into a new folder inside `parent`: the
// files as they are, a server into a pair of files (see backUpServer).
// `*made` is the folder; empty, and the error, on failure.
QString backUp(const StoreLocation &stores, const QString &parent, QString *made);
// Backs both stores of the desk of `dataFolder` up before something is
// replaced; false, with the outcome's error, when no backup could be made.
bool backUpFirst(const QString &dataFolder, const StoreLocation &stores, Outcome &outcome);

// Ends work that failed: `open` transactions rolled back, the folder
// `made` removed (if any), and the outcome says `error` and counts no row.
Outcome failed(Outcome outcome, const QString &error, const QList<QSqlDatabase> &open, const QString &made = {});

} // namespace Transfer
