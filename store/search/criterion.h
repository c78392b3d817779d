#pragma once

#include <QString>
#include <QStringList>

// Find criteria of the form [Field]like'pattern', where `*` stands for any
// run of characters and every other character matches itself; `[*]` is a
// star itself, as the desk engine writes it.
namespace Criterion {

// Builds the criterion text; quotes in `pattern` are doubled.
QString build(const QString &field, const QString &pattern);

// A piece of pattern that matches `text` character for character, stars
// included: typed text joined into a pattern is never a wildcard.
QString literal(const QString &text);

struct Parsed {
    bool ok = false;
    QString field;       // as it stands in `columns`
    QString likePattern; // for SQL `LIKE ? ESCAPE '\'`
    QString error;
};

// Parses `criterion` and checks its field against `columns` (letter case
// ignored, as the engine does for names).
Parsed parse(const QString &criterion, const QStringList &columns);

// Turns a `*` pattern into a LIKE pattern with `\` as the escape character.
QString toLike(const QString &pattern);

} // namespace Criterion
