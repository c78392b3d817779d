#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>

// The index that serves searches of one or two characters, which the
// trigram index cannot: for each searched field, every one- and
// two-character piece of its texts (in the engine's lower case) with the
// blocks of rows that hold it. A block is 1024 consecutive identities, so
// the index stays small, and a block listed for a piece holds a book that
// matches it (unless that book was since changed or removed: the search
// then looks on). The index only narrows where a search looks; what
// matches is always decided by the search's own condition.
namespace GramIndex {

inline const QString Table = QStringLiteral("books_grams");
inline constexpr int Length = 2;
inline constexpr int BlockBits = 10;

inline qint64 blockOf(qint64 id) { return id >> BlockBits; }
inline qint64 firstIdOf(qint64 block) { return block << BlockBits; }
inline qint64 lastIdOf(qint64 block) { return ((block + 1) << BlockBits) - 1; }

// The number of characters of `text`, a character outside the Basic
// Multilingual Plane counted once.
// Every rule of a text's length counts with this, as the stores do.
int characters(QStringView text);

// Every spelling of `text` (one or two characters) whose case fold equals
// the fold of `text`: the pieces a book matching it may hold. Empty when
// there would be more than a search can ask for at once (the search then
// reads every row).
QStringList spellings(const QString &text);

// A query listing, in ascending order, the blocks that may hold a book
// whose `field` contains `text` (one or two characters); empty when the
// index cannot narrow the search.
struct Narrowing {
    QString sql;
    QVariantList params;
    bool isEmpty() const { return sql.isEmpty(); }
};
Narrowing narrowing(const QString &field, const QString &text);

// Consecutive blocks, merged, as ranges of identities.
struct Range {
    qint64 first;
    qint64 last;
};
QList<Range> ranges(const QList<qint64> &ascendingBlocks);

// Every one- and two-character piece of `text`, as the index keeps them
// (before the engine lowers their case).
QSet<QString> pieces(const QString &text);

} // namespace GramIndex
