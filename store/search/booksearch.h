#pragma once

#include "store/search/gramindex.h"

#include <QString>
#include <QVariantList>

// Finding the books whose Title or Author contains a typed text, letter
// case ignored (for every script, not only Latin), the text matched as it
// stands: a quote, %, _ or [ is just a character. Each engine serves it
// through its own search index (see its dialect); where an engine has an
// index path and a scan path, both give the same books in the same order.
namespace BookSearch {

// Whether a search takes the engine's index or reads the rows; the
// automatic path chooses, the others force one where the engine has both.
enum class Path { Automatic, Index, Scan };

// The condition for books whose field contains a text, as an engine writes
// it (see Dialect::contains): `through` names the index table that drives
// the rows, empty for the books table alone. A text too short for the
// trigram index may come with a narrowing: the blocks of rows where its
// matches can be (see GramIndex).
struct Condition {
    QString where;
    QVariantList params;
    QString through;
    GramIndex::Narrowing narrowing;
};

// The fields a search may name.
bool isSearchField(const QString &field);

// The books the catalogue shows before anything is searched: those with a
// book number.
Condition numbered();

// `text` with its letter case folded the way the file engine folds it.
QString fold(const QString &text);

} // namespace BookSearch
