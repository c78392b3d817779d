#include "store/engine/swap.h"

#include "store/engine/stoppoint.h"
#include "store/engine/storeerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace StoreSwap {

namespace {

const QByteArray Header = "tallymere-swap 1";
const QByteArray Footer = "end";
const QString Wal = QStringLiteral("-wal");
const QString Shm = QStringLiteral("-shm");

using Paths::native;


QString lastSystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool exists(const QString &path)
{
    return QFileInfo::exists(path);
}

bool renamed(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

QString intentPath(const QString &folder)
{
    return QDir(folder).filePath(intentName());
}

QByteArray encode(const QList<Move> &moves)
{
    QByteArray text = Header + '\n';
    for (const Move &move : moves)
        text += move.store.toUtf8() + '\t' + move.replacement.toUtf8() + '\t' + move.kept.toUtf8() + '\n';
    return text + Footer + '\n';
}

// The moves an intent file names; false when it is not a whole intent.
bool decode(const QByteArray &text, QList<Move> *moves)
{
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 3 || lines.first() != Header || lines.at(lines.size() - 2) != Footer || !lines.last().isEmpty())
        return false;
    for (qsizetype i = 1; i + 2 < lines.size(); ++i) {
        const QList<QByteArray> names = lines.at(i).split('\t');
        if (names.size() != 3 || names.at(0).isEmpty() || names.at(1).isEmpty())
            return false;
        *moves << Move{QString::fromUtf8(names.at(0)), QString::fromUtf8(names.at(1)), QString::fromUtf8(names.at(2))};
    }
    return true;
}

// The intent is written under another name and renamed, so that it is
// found whole or not at all.
StoreError writeIntent(const QString &folder, const QList<Move> &moves)
{
    const QString path = intentPath(folder);
    const QString unfinished = path + QStringLiteral(".new");
    QFile file(unfinished);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return StoreError::failure(QStringLiteral("Cannot write %1.").arg(native(unfinished)), file.errorString());
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray text = encode(moves);
    const bool written = file.write(text) == text.size() && file.flush();
    file.close();
    if (!written || !syncFile(unfinished) || !renamed(unfinished, path) || !syncFolder(folder)) {
        const QString why = written ? lastSystemError() : file.errorString();
        QFile::remove(unfinished);
        return StoreError::failure(QStringLiteral("Cannot write %1.").arg(native(path)), why);
    }
    return {};
}

// The old store and its write-ahead log go to the kept name; a store whose
// kept name is taken was moved already.
bool moveAside(const QString &folder, const Move &move)
{
    const QDir dir(folder);
    const QString store = dir.filePath(move.store);
    const QString kept = dir.filePath(move.kept);
    if (move.kept.isEmpty() || exists(kept) || !exists(store))
        return true;
    if (exists(store + Wal) && !renamed(store + Wal, kept + Wal))
        return false;
    QFile::remove(store + Shm);
    return renamed(store, kept);
}

// The replacement takes the store's name; no log of the old store may stay
// beside it, where the engine would read it into the new file.
bool moveIn(const QString &folder, const Move &move)
{
    const QDir dir(folder);
    const QString store = dir.filePath(move.store);
    const QString replacement = dir.filePath(move.replacement);
    if (!exists(replacement))
        return true;
    QFile::remove(store + Wal);
    QFile::remove(store + Shm);
    return renamed(replacement, store);
}

StoreError run(const QString &folder, const QList<Move> &moves, bool stopping)
{
    for (const Move &move : moves) {
        if (!moveAside(folder, move))
            return StoreError::failure(QStringLiteral("Cannot move %1 aside as %2.")
                               .arg(native(QDir(folder).filePath(move.store)), move.kept),
                           lastSystemError());
        if (stopping)
            StopPoint::step("swap");
        if (!moveIn(folder, move))
            return StoreError::failure(QStringLiteral("Cannot move %1 into place as %2.")
                               .arg(native(QDir(folder).filePath(move.replacement)), move.store),
                           lastSystemError());
        if (stopping)
            StopPoint::step("swap");
    }
    if (!syncFolder(folder))
        return StoreError::failure(QStringLiteral("Cannot write the folder %1 to the disk.").arg(native(folder)), lastSystemError());
    if (!QFile::remove(intentPath(folder)) || !syncFolder(folder))
        return StoreError::failure(QStringLiteral("Cannot remove %1.").arg(native(intentPath(folder))), lastSystemError());
    return {};
}

} // namespace

QString intentName()
{
    return QStringLiteral(".swap-intent");
}

QString stagingName()
{
    return QStringLiteral(".swap-staging");
}

namespace {

bool syncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0)
        return false;
    // Some file systems cannot sync a folder; their renames are not at risk.
    const bool synced = ::fsync(fd) == 0 || ((flags & O_DIRECTORY) && errno == EINVAL);
    ::close(fd);
    return synced;
}

} // namespace

bool syncFile(const QString &path)
{
    return syncPath(path, 0);
}

bool syncFolder(const QString &path)
{
    return syncPath(path, O_DIRECTORY);
}

StoreError apply(const QString &folder, const QList<Move> &moves)
{
    if (const StoreError error = writeIntent(folder, moves); error.isValid())
        return error;
    StopPoint::step("swap");
    return run(folder, moves, true);
}

StoreError finish(const QString &folder, bool *finished)
{
    if (finished)
        *finished = false;
    // An intent never renamed into place was written before any rename.
    QFile::remove(intentPath(folder) + QStringLiteral(".new"));
    QFile file(intentPath(folder));
    if (!file.exists())
        return {};
    QList<Move> moves;
    if (!file.open(QIODevice::ReadOnly) || !decode(file.readAll(), &moves))
        return StoreError::failure(QStringLiteral("The unfinished change of the stores named in %1 cannot be read; "
                                      "nothing was opened.")
                           .arg(native(file.fileName())),
                       file.errorString());
    file.close();
    for (const Move &move : std::as_const(moves))
        if (!exists(QDir(folder).filePath(move.store)) && !exists(QDir(folder).filePath(move.replacement)))
            return StoreError::failure(QStringLiteral("The unfinished change of the stores named in %1 cannot be finished: "
                                          "neither %2 nor its replacement %3 is there.")
                               .arg(native(file.fileName()), move.store, move.replacement));
    if (const StoreError error = run(folder, moves, false); error.isValid())
        return error;
    if (finished)
        *finished = true;
    return {};
}

} // namespace StoreSwap
