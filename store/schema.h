#pragma once

#include <QString>
#include <QStringList>

// The three tables of the two database files, with every field name exactly
// as the screens and reports use it (inner runs of spaces included).
namespace Schema {

enum class File { Transactions, Tallymere };

struct Table {
    QString name;
    File file;
    QStringList fields;
    QStringList dateFields; // stored as ISO yyyy-MM-dd text or NULL
};

// Longest text a field may hold; the store refuses longer values.
inline constexpr int MaxTextLength = 255;

const Table &books();
const Table &borrower();
const Table &user();

// `name` quoted as an SQL identifier, inner quotes doubled.
QString quoted(const QString &name);

// CREATE TABLE statement for `table`.
QString createStatement(const Table &table);

bool isDateField(const QString &table, const QString &field);

} // namespace Schema
