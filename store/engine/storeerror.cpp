#include "store/engine/storeerror.h"

#include <QDir>

#include <QFileInfo>
#include <QStorageInfo>

namespace {

using Kind = StoreError::Kind;
using Engine = StoreError::Engine;

// SQLite's primary result codes; extended codes keep them in the low byte.
Kind sqliteKind(const QString &code)
{
    bool ok = false;
    const int number = code.toInt(&ok);
    if (!ok)
        return Kind::Failed;
    switch (number & 0xff) {
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
        return Kind::Busy;
    case 8:  // SQLITE_READONLY
        return Kind::ReadOnly;
    case 13: // SQLITE_FULL
        return Kind::Full;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return Kind::Damaged;
    case 10: // SQLITE_IOERR
    case 14: // SQLITE_CANTOPEN
        return Kind::CannotOpen;
    case 19: // SQLITE_CONSTRAINT
        return Kind::Refused;
    default:
        return Kind::Failed;
    }
}

// PostgreSQL's SQLSTATE; a failure with none never reached the server.
Kind serverKind(const QString &state, QSqlError::ErrorType type)
{
    if (state.isEmpty())
        return type == QSqlError::ConnectionError || type == QSqlError::StatementError ? Kind::Unreachable
                                                                                      : Kind::Failed;
    const QString cls = state.left(2);
    if (cls == QLatin1String("08") || state == QLatin1String("57P01") || state == QLatin1String("57P02")
        || state == QLatin1String("57P03"))
        return Kind::Unreachable;
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("55P03")
        || state == QLatin1String("53300"))
        return Kind::Busy;
    if (state == QLatin1String("25006") || state == QLatin1String("42501"))
        return Kind::ReadOnly;
    if (state == QLatin1String("53100")) // disk full
        return Kind::Full;
    if (state == QLatin1String("22001"))
        return Kind::TooLong;
    if (cls == QLatin1String("23"))
        return Kind::Refused;
    if (state == QLatin1String("42P01") || state == QLatin1String("42703") || state == QLatin1String("3D000"))
        return Kind::Missing;
    if (cls == QLatin1String("XX"))
        return Kind::Damaged;
    if (cls == QLatin1String("28"))
        return Kind::CannotOpen;
    return Kind::Failed;
}

QString sentenceFor(Kind kind, Engine engine, const QString &store)
{
    const bool server = engine == Engine::Server;
    switch (kind) {
    case Kind::Busy:
        return server ? QStringLiteral("The server %1 is busy with another desk; try again in a moment.").arg(store)
                      : QStringLiteral("The store %1 is busy with another program; try again in a moment.").arg(store);
    case Kind::ReadOnly:
        return QStringLiteral("The store %1 cannot be written.").arg(store);
    case Kind::Damaged:
        // The check names what is wrong, and the repair or restore to run.
        return server ? QStringLiteral("The store %1 is damaged or is not a Tallymere database.").arg(store)
                      : QStringLiteral("The store %1 is damaged or is not a Tallymere database; run tallymere-admin "
                                       "check to see what is wrong.")
                            .arg(store);
    case Kind::CannotOpen:
        return server ? QStringLiteral("The server %1 did not let this desk in; check the user name and the "
                                       "password in ~/.pgpass.")
                            .arg(store)
                      : QStringLiteral("The store %1 cannot be opened: its folder must be readable and writable.")
                            .arg(store);
    case Kind::Unreachable:
        return QStringLiteral("The server %1 cannot be reached; try again when it is back.").arg(store);
    case Kind::Full:
        return server ? QStringLiteral("The disk of the server %1 is full; nothing was stored.").arg(store)
                      : QStringLiteral("The disk holding %1 is full; free some space on it and try again.").arg(store);
    case Kind::Missing:
        return server ? QStringLiteral("The server %1 holds no Tallymere store; set it up with tallymere-admin "
                                       "use-server.")
                            .arg(store)
                      : QString();
    default:
        return QString();
    }
}

} // namespace

StoreError::StoreError(Kind kind, const QString &sentence, const QString &detail, const QSqlError &engine,
                       bool classified)
    : m_kind(kind), m_sentence(sentence), m_detail(detail), m_engine(engine), m_classified(classified)
{
}

StoreError::StoreError(const QSqlError &engine)
    : StoreError(engine.isValid() ? Kind::Failed : Kind::None, engine.databaseText(), engine.driverText(), engine,
                 false)
{
}

StoreError StoreError::make(Kind kind, const QString &sentence, const QString &detail)
{
    return StoreError(kind, sentence, detail, QSqlError(), true);
}

StoreError StoreError::failure(const QString &sentence, const QString &detail)
{
    return make(Kind::Failed, sentence, detail);
}

StoreError StoreError::explain(Engine engine, const QString &store, const StoreError &error)
{
    if (!error.isValid() || error.m_classified)
        return error;
    const QSqlError &engineError = error.m_engine;
    const QString code = engineError.nativeErrorCode();
    Kind k = engine == Engine::Server ? serverKind(code, engineError.type()) : sqliteKind(code);
    // A file that cannot be written or grown on a full disk often comes
    // back as an I/O error.
    if (engine == Engine::Sqlite && k == Kind::CannotOpen && diskFull(store))
        k = Kind::Full;
    QString line = sentenceFor(k, engine, store);
    // A role without the right (to set the store up, or to write) is a
    // matter for the server's administrator, not a read-only store.
    if (engine == Engine::Server && code == QLatin1String("42501"))
        line = QStringLiteral("The server %1 does not give this desk's user the right to create or change its "
                              "tables; ask the server's administrator to grant it.")
                   .arg(store);
    if (line.isEmpty())
        // The engine's own words are the clearest there are.
        return StoreError(k, engineError.databaseText(), engineError.driverText(), engineError, true);
    return StoreError(k, line, engineError.text().trimmed(), engineError, true);
}

QString StoreError::detail() const
{
    // An error not classified yet has only the engine's words.
    return m_classified ? m_detail.trimmed() : m_engine.text().trimmed();
}

bool StoreError::diskFull(const QString &path)
{
    // Less than this is too little for the next page or chunk to fit.
    constexpr qint64 FullBelow = 256 * 1024;
    QFileInfo at(path);
    while (!at.exists() && !at.isRoot() && at.absoluteFilePath() != at.absolutePath())
        at.setFile(at.absolutePath());
    const QStorageInfo disk(at.isDir() ? at.absoluteFilePath() : at.absolutePath());
    return disk.isValid() && disk.isReady() && disk.bytesAvailable() >= 0 && disk.bytesAvailable() < FullBelow;
}

QString StoreError::text() const
{
    QString line = m_sentence.trimmed();
    const QString detail = m_detail.trimmed();
    if (line.isEmpty())
        line = detail;
    else if (!detail.isEmpty() && !line.contains(detail))
        line += QStringLiteral(" (%1)").arg(detail);
    // One line, but runs of spaces kept: field names hold them.
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line;
}

QString Paths::native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}
