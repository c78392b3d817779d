#include "store/search/gramindex.h"

#include <QHash>
#include <QSet>

namespace GramIndex {

namespace {

// More spellings than this make the lookup dearer than it saves.
constexpr int MaxSpellings = 64;

QList<char32_t> codePoints(const QString &text)
{
    const QList<uint> points = text.toUcs4();
    return QList<char32_t>(points.cbegin(), points.cend());
}

// For each folded character, the others that fold to it.
const QHash<char32_t, QList<char32_t>> &foldedFrom()
{
    static const QHash<char32_t, QList<char32_t>> table = [] {
        QHash<char32_t, QList<char32_t>> t;
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const char32_t folded = QChar::toCaseFolded(c);
            if (folded != c)
                t[folded] << c;
        }
        return t;
    }();
    return table;
}

QList<char32_t> sameFold(char32_t c)
{
    const char32_t folded = QChar::toCaseFolded(c);
    QList<char32_t> all{folded};
    all << foldedFrom().value(folded);
    return all;
}

QString pieceOf(const QList<char32_t> &points, qsizetype at, qsizetype length)
{
    return QString::fromUcs4(points.constData() + at, length);
}


} // namespace

int characters(QStringView text)
{
    // A surrogate pair is one character; a lone surrogate counts as one
    // too, as it does once converted.
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++n)
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    return n;
}

QStringList spellings(const QString &text)
{
    const QList<char32_t> points = codePoints(text);
    QList<QList<char32_t>> spelt{{}};
    for (const char32_t c : points) {
        const QList<char32_t> choices = sameFold(c);
        if (spelt.size() * choices.size() > MaxSpellings)
            return {};
        QList<QList<char32_t>> longer;
        for (const QList<char32_t> &start : spelt)
            for (const char32_t choice : choices)
                longer << (QList<char32_t>(start) << choice);
        spelt = longer;
    }
    QStringList out;
    for (const QList<char32_t> &s : spelt)
        out << QString::fromUcs4(s.constData(), s.size());
    return out;
}

Narrowing narrowing(const QString &field, const QString &text)
{
    const int length = characters(text);
    if (length < 1 || length > Length)
        return {};
    const QStringList all = spellings(text);
    if (all.isEmpty())
        return {};
    QStringList marks;
    QVariantList params{field};
    for (const QString &s : all) {
        marks << QStringLiteral("lower(?)");
        params << s;
    }
    return {QStringLiteral("SELECT DISTINCT \"block\" FROM \"%1\" WHERE \"field\" = ? AND \"gram\" IN (%2) ORDER BY \"block\"")
                .arg(Table, marks.join(QLatin1Char(','))),
            params};
}

QSet<QString> pieces(const QString &text)
{
    const QList<char32_t> points = codePoints(text);
    QSet<QString> out;
    for (qsizetype i = 0; i < points.size(); ++i)
        for (qsizetype length = 1; length <= Length && i + length <= points.size(); ++length)
            out.insert(pieceOf(points, i, length));
    return out;
}

QList<Range> ranges(const QList<qint64> &ascendingBlocks)
{
    QList<Range> out;
    for (const qint64 block : ascendingBlocks) {
        if (!out.isEmpty() && out.last().last + 1 >= firstIdOf(block))
            out.last().last = lastIdOf(block);
        else
            out << Range{firstIdOf(block), lastIdOf(block)};
    }
    return out;
}

} // namespace GramIndex
