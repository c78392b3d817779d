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

Parsed parse(const QString &criterion, const QStringList &columns)
{
    Parsed result;
    const QString text = criterion.trimmed();
    if (!text.startsWith(QLatin1Char('['))) {
        result.error = QStringLiteral("A find criterion must start with a [field] name.");
        return result;
    }
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    if (close < 0) {
        result.error = QStringLiteral("The field name of the find criterion is not closed.");
        return result;
    }
    const QString field = text.mid(1, close - 1);
    qsizetype pos = close + 1;
    while (pos < text.size() && text.at(pos).isSpace())
        ++pos;
    if (text.mid(pos, 4).compare(QStringLiteral("like"), Qt::CaseInsensitive) != 0) {
        result.error = QStringLiteral("A find criterion must compare with like.");
        return result;
    }
    pos += 4;
    while (pos < text.size() && text.at(pos).isSpace())
        ++pos;
    if (pos >= text.size() || text.at(pos) != QLatin1Char('\'') || !text.endsWith(QLatin1Char('\''))
        || pos == text.size() - 1) {
        result.error = QStringLiteral("The pattern of a find criterion must be in single quotes.");
        return result;
    }
    const QString quoted = text.mid(pos + 1, text.size() - pos - 2);
    QString pattern;
    for (qsizetype i = 0; i < quoted.size(); ++i) {
        const QChar c = quoted.at(i);
        if (c == QLatin1Char('\'')) {
            if (i + 1 < quoted.size() && quoted.at(i + 1) == QLatin1Char('\'')) {
                pattern += c;
                ++i;
                continue;
            }
            result.error = QStringLiteral("A quote in the pattern of a find criterion must be doubled.");
            return result;
        }
        pattern += c;
    }
    // The engine's LIKE stops at a NUL character, so a pattern holding one
    // would match values it does not hold; no value typed at the desk has one.
    if (pattern.contains(QChar(0))) {
        result.error = QStringLiteral("The pattern of a find criterion cannot hold a NUL character.");
        return result;
    }
    for (const QString &column : columns) {
        if (column.compare(field, Qt::CaseInsensitive) == 0) {
            result.field = column;
            break;
        }
    }
    if (result.field.isEmpty()) {
        result.error = QStringLiteral("Unknown field in find criterion: %1").arg(field);
        return result;
    }
    result.likePattern = toLike(pattern);
    result.ok = true;
    return result;
}

} // namespace Criterion
