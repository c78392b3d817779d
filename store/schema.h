#pragma once

#include <QList>
#include <QString>
#include <QStringList>

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
};

// Longest text a field may hold; the store refuses longer values.
inline constexpr int MaxTextLength = 255;

const Table &books();
const Table &borrower();
const Table &user();
// The table of that name (letter case ignored), or nullptr.
const Table *table(const QString &name);
QList<const Table *> tables(File file);

QString fileName(File file);

const QList<Upgrade> &upgrades(File file);
// The version a store of `file` has once every upgrade step has run.
int currentVersion(File file);
int lastVersion(const QList<Upgrade> &steps);

// `name` quoted as an SQL identifier, inner quotes doubled.
QString quoted(const QString &name);

// CREATE TABLE statement for `table`.
QString createStatement(const Table &table);

bool isDateField(const QString &table, const QString &field);

} // namespace Schema
