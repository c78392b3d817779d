#include "store/search/criterion.h"

namespace Criterion {

QString build(const QString &field, const QString &pattern)
{
    QString doubled = pattern;
    doubled.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QStringLiteral("[%1]like'%2'").arg(field, doubled);
}

QString literal(const QString &text)
{
    QString piece = text;
    piece.replace(QLatin1Char('*'), QStringLiteral("[*]"));
    return piece;
}

QString toLike(const QString &pattern)
{
    QString like;
    like.reserve(pattern.size() + 8);
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('[') && pattern.mid(i, 3) == QLatin1String("[*]")) {
            like += QLatin1Char('*'); // a star is no wildcard to LIKE
            i += 2;
        } else if (c == QLatin1Char('*')) {
            like += QLatin1Char('%');
        } else if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\')) {
            like += QLatin1Char('\\') + c;
        } else {
            like += c;
        }
    }
    return like;
}

namespace {

qsizetype skipSpaces(const QString &text, qsizetype pos)
{
    while (pos < text.size() && text.at(pos).isSpace())
        ++pos;
    return pos;
}

// The pattern written between quotes, each doubled quote made one; empty
// with `error` set when a quote stands alone.
QString unquoted(const QString &quoted, QString *error)
{
    QString pattern;
    for (qsizetype i = 0; i < quoted.size(); ++i) {
        const QChar c = quoted.at(i);
        if (c == QLatin1Char('\'')) {
            if (i + 1 >= quoted.size() || quoted.at(i + 1) != QLatin1Char('\'')) {
                *error = QStringLiteral("A quote in the pattern of a find criterion must be doubled.");
                return {};
            }
            ++i;
        }
        pattern += c;
    }
    return pattern;
}

// `field` as `columns` spell it, letter case ignored; empty when none is.
QString columnNamed(const QStringList &columns, const QString &field)
{
    for (const QString &column : columns)
        if (column.compare(field, Qt::CaseInsensitive) == 0)
            return column;
    return {};
}

// The criterion's field name and its quoted pattern (quotes included), or
// the error that says what is wrong with its form.
struct Parts {
    QString field;
    QString quoted;
    QString error;
};

Parts split(const QString &text)
{
    if (!text.startsWith(QLatin1Char('[')))
        return {{}, {}, QStringLiteral("A find criterion must start with a [field] name.")};
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    if (close < 0)
        return {{}, {}, QStringLiteral("The field name of the find criterion is not closed.")};
    qsizetype pos = skipSpaces(text, close + 1);
    if (text.mid(pos, 4).compare(QStringLiteral("like"), Qt::CaseInsensitive) != 0)
        return {{}, {}, QStringLiteral("A find criterion must compare with like.")};
    pos = skipSpaces(text, pos + 4);
    if (pos >= text.size() || text.at(pos) != QLatin1Char('\'') || !text.endsWith(QLatin1Char('\''))
        || pos == text.size() - 1)
        return {{}, {}, QStringLiteral("The pattern of a find criterion must be in single quotes.")};
    return {text.mid(1, close - 1), text.mid(pos + 1, text.size() - pos - 2), {}};
}

} // namespace

Parsed parse(const QString &criterion, const QStringList &columns)
{
    Parsed result;
    const Parts parts = split(criterion.trimmed());
    if (!parts.error.isEmpty()) {
        result.error = parts.error;
        return result;
    }
    const QString pattern = unquoted(parts.quoted, &result.error);
    if (!result.error.isEmpty())
        return result;
    // The engine's LIKE stops at a NUL character, so a pattern holding one
    // would match values it does not hold; no value typed at the desk has one.
    if (pattern.contains(QChar(0))) {
        result.error = QStringLiteral("The pattern of a find criterion cannot hold a NUL character.");
        return result;
    }
    result.field = columnNamed(columns, parts.field);
    if (result.field.isEmpty()) {
        result.error = QStringLiteral("Unknown field in find criterion: %1").arg(parts.field);
        return result;
    }
    result.likePattern = toLike(pattern);
    result.ok = true;
    return result;
}

} // namespace Criterion
