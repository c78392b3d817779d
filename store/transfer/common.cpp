#include "store/transfer/common.h"

#include "store/engine/dialect.h"
#include "store/engine/execute.h"
#include "store/engine/storeerror.h"
#include "store/search/gramindex.h"
#include "store/transfer/backup.h"

#include <QDir>
#include <QFile>

namespace Transfer {

QString storesName(const StoreLocation &stores)
{
    return stores.isServer() ? QStringLiteral("the stores on the server %1").arg(stores.name(Schema::File::Tallymere))
                             : QStringLiteral("the stores in %1").arg(native(stores.folder()));
}

bool lockDesk(std::optional<DeskLock> &lock, const QString &dataFolder, QString *error)
{
    lock.emplace(dataFolder, DeskLock::Kind::Shared);
    if (lock->isHeld())
        return true;
    *error = lock->errorText();
    return false;
}

bool lockDeskAlone(std::optional<DeskLock> &lock, const QString &dataFolder, QString *error)
{
    lock.emplace(dataFolder, DeskLock::Kind::Exclusive);
    if (lock->isHeld())
        return true;
    *error = lock->isBusy() ? QStringLiteral("A Tallymere desk program has the stores in %1 open; close it and try again.")
                                  .arg(native(dataFolder))
                            : lock->errorText();
    return false;
}

QString quotedName(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

QString quotedNames(const QStringList &names)
{
    QStringList out;
    for (const QString &n : names)
        out << quotedName(n);
    return out.join(QStringLiteral(", "));
}

QString plural(qsizetype count)
{
    return count > 1 ? QStringLiteral("s") : QString();
}

QString cannotWrite(const QString &path, const QFileDevice &file)
{
    // The file's own words for a full disk are often "Unknown error".
    const QString why = StoreError::diskFull(path) ? QStringLiteral("the disk holding it is full") : file.errorString();
    return QStringLiteral("Cannot write %1: %2.").arg(native(path), why);
}

QVariant nullText()
{
    return QVariant(QMetaType::fromType<QString>());
}

bool tooLong(const QString &text)
{
    // Counted in characters, as the stores count; a text of few UTF-16
    // units is short in any count.
    return text.size() > Schema::MaxTextLength && GramIndex::characters(text) > Schema::MaxTextLength;
}

QString tooLongText(const QString &field, const QString &text)
{
    return QStringLiteral("the field %1 holds %2 characters; the store keeps %3 at most")
        .arg(quotedName(field))
        .arg(GramIndex::characters(text))
        .arg(Schema::MaxTextLength);
}

bool openStore(Database::Connection &connection, QString *error)
{
    if (connection.open())
        return true;
    *error = StoreError(connection.lastError()).text();
    return false;
}

bool exec(QSqlDatabase &db, const QString &sql, QString *error)
{
    const StoreError failure = Sql::exec(db, sql);
    if (!failure.isValid())
        return true;
    *error = failure.text();
    return false;
}

bool execOn(const Database::Connection &connection, const QStringList &statements, QString *error)
{
    QSqlDatabase db = connection.database();
    const StoreError failure = Sql::execAll(db, statements);
    if (!failure.isValid())
        return true;
    *error = connection.explain(failure).text();
    return false;
}

bool installStores(const StoreLocation &stores, QString *error)
{
    const StoreError failure = Database::install(stores);
    if (!failure.isValid())
        return true;
    *error = failure.text();
    return false;
}

bool checkVersion(const Database::Connection &store, Schema::File file, const QString &name, QString *error)
{
    QSqlDatabase db = store.database();
    StoreError versionError;
    const int version = Dialect::of(db).version(db, file, &versionError);
    if (version < 0) {
        *error = store.explain(versionError).text();
        return false;
    }
    if (version <= Schema::currentVersion(file))
        return true;
    *error = Database::newerStore(name, version, Schema::currentVersion(file));
    return false;
}

QString backUp(const StoreLocation &stores, const QString &parent, QString *made)
{
    // The one place that chooses how a backup is made: a server's rows are
    // read into a pair of files, the files are copied as they are.
    if (stores.isServer()) {
        const Outcome outcome = backUpServer(stores, parent);
        *made = outcome.backup;
        return outcome.error;
    }
    const StoreError error = Backup::backup(stores.folder(), parent, made);
    return error.isValid() ? error.text() : QString();
}

bool backUpFirst(const QString &dataFolder, const StoreLocation &stores, Outcome &outcome)
{
    const QString why = backUp(stores, backupParent(dataFolder), &outcome.backup);
    if (why.isEmpty()) {
        // Backups hold the borrowers' names: the owner's alone, even where
        // an older program made the folder.
        QFile::setPermissions(backupParent(dataFolder), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return true;
    }
    outcome.error = QStringLiteral("Nothing was replaced, since no backup could be made first: %1").arg(why);
    return false;
}

Outcome failed(Outcome outcome, const QString &error, const QList<QSqlDatabase> &open, const QString &made)
{
    for (QSqlDatabase db : open)
        db.rollback();
    if (!made.isEmpty())
        QDir(made).removeRecursively();
    outcome.error = error;
    outcome.rows = 0;
    return outcome;
}

QString backupParent(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("backups"));
}

} // namespace Transfer
