#pragma once

#include <QString>
#include <QVariantList>

class QSqlDatabase;

// Finding the books whose Title or Author contains a typed text, letter
// case ignored (for every script, not only Latin), the text matched as it
// stands: a quote, %, _ or [ is just a character. Three letters or more go
// through the catalogue's trigram index; shorter texts scan `books`. Both
// give the same books in the same order.
namespace BookSearch {

enum class Path { Automatic, Index, Scan };

struct Condition {
    QString where;       // over books' quoted columns, with `?` marks
    QVariantList params;
    QString through;     // the index that drives the rows, if any
};

// The fields a search may name.
bool isSearchField(const QString &field);

// The condition for books whose `field` contains `text`; an empty text
// gives every book whose field holds a value.
Condition contains(const QString &field, const QString &text, Path path = Path::Automatic);

// `text` with its letter case folded the way both paths fold it.
QString fold(const QString &text);

// Makes the fold available to SQL on `db` (the scan path uses it).
bool registerFold(const QSqlDatabase &db);

} // namespace BookSearch
