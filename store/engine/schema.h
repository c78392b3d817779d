#pragma once

#include "store/engine/storeerror.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QSqlDatabase;

// The three tables of the two database files, with every field name exactly
// as the screens and reports use it (inner runs of spaces included), and
// the steps that bring an older store up to this program's version.
namespace Schema {

enum class File { Transactions, Tallymere };

struct Table {
    QString name;
    File file;
    QStringList fields;
    QStringList dateFields; // stored as ISO yyyy-MM-dd text or NULL
};

// One step from the version before to `version`. A step only adds objects
// (tables, indexes, triggers); it never changes or drops stored rows.
struct Upgrade {
    int version;
    QStringList statements;
    // Run after the statements, for what SQL alone would do too slowly.
    std::function<StoreError(QSqlDatabase &)> fill = {};
};

// Longest text a field may hold; the store refuses longer values.
inline constexpr int MaxTextLength = 255;

// Every table also has two columns no screen, grid, report or file shows:
// the row's identity (its place in row order, kept by any compaction) and
// its version, which moves on with every stored change so that a change
// made at another desk in the meantime is never overwritten.
inline const QString IdColumn = QStringLiteral("_id");
inline const QString VersionColumn = QStringLiteral("_version");
bool isHidden(const QString &column);

// The loan history: every change to a loan or an account, kept by the
// store's own triggers whoever writes it. No screen, grid, report or export
// shows it; the admin tool lists it and brings deleted loans back from it.
// Columns: its identity, the time (UTC, yyyy-MM-dd HH:mm:ss.zzz), the desk
// (and on the server the role), the table, the row's identity and
// accession number, the kind of change, and the fields before and after as
// JSON objects (changed: only the fields that changed; deleted: the whole
// row). Of an account only the time, the desk and the kind are kept.
namespace History {
inline const QString Table = QStringLiteral("tallymere_history");
inline const QString At = QStringLiteral("at");
inline const QString Desk = QStringLiteral("desk");
inline const QString Role = QStringLiteral("role");
inline const QString Source = QStringLiteral("table_name");
inline const QString RowId = QStringLiteral("row_id");
inline const QString Accession = QStringLiteral("accession");
inline const QString Kind = QStringLiteral("kind");
inline const QString Before = QStringLiteral("before");
inline const QString After = QStringLiteral("after");
// Every column but the identity, in table order.
QStringList columns();
// What a change made by a program that does not name its desk records.
inline const QString UnknownDesk = QStringLiteral("another program");
} // namespace History

const Table &books();
const Table &borrower();
const Table &user();
// The table of that name (letter case ignored), or nullptr.
const Table *table(const QString &name);
QList<const Table *> tables(File file);

QString fileName(File file);

// The version of `file`'s schema this program makes and knows, on either
// engine.
int currentVersion(File file);
int lastVersion(const QList<Upgrade> &steps);

// `name` quoted as an SQL identifier, inner quotes doubled.
QString quoted(const QString &name);

// The column definitions of `table`'s own fields, each with the checks
// `dateCheck` (the engine's test that %1 is an ISO date) and the length
// limit; the engines add the hidden columns.
QStringList fieldDefinitions(const Table &table, const QString &dateCheck);

bool isDateField(const QString &table, const QString &field);

} // namespace Schema
