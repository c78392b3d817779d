#include "store/gramindex.h"

#include "store/dialect.h"
#include "store/schema.h"

#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>

using Schema::quoted;

namespace GramIndex {

namespace {

// More spellings than this make the lookup dearer than it saves.
constexpr int MaxSpellings = 64;
constexpr int BooksPerRead = 8192;
constexpr int RowsPerInsert = 256;

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

struct Writer {
    QSqlDatabase &db;
    QVariantList pending;
    QSqlError error;

    void add(const QString &field, const QString &piece, qint64 block)
    {
        pending << field << piece << block;
        if (pending.size() >= RowsPerInsert * 3)
            flush();
    }

    void flush()
    {
        if (pending.isEmpty() || error.isValid())
            return;
        QStringList rows;
        for (qsizetype i = 0; i < pending.size(); i += 3)
            rows << QStringLiteral("(?, lower(?), ?)");
        QSqlQuery q(db);
        if (!q.prepare(QStringLiteral("INSERT INTO %1 (\"field\", \"gram\", \"block\") VALUES %2 ON CONFLICT DO NOTHING")
                           .arg(quoted(Table), rows.join(QLatin1Char(',')))))
            error = q.lastError();
        for (const QVariant &v : pending)
            q.addBindValue(v);
        if (!error.isValid() && !q.exec())
            error = q.lastError();
        pending.clear();
    }
};

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
    return {QStringLiteral("SELECT DISTINCT \"block\" FROM %1 WHERE \"field\" = ? AND \"gram\" IN (%2) ORDER BY \"block\"")
                .arg(quoted(Table), marks.join(QLatin1Char(','))),
            params};
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

QSqlError rebuild(QSqlDatabase &db, const std::function<void(qint64)> &step)
{
    if (QSqlQuery clear(db); !clear.exec(QStringLiteral("DELETE FROM %1").arg(quoted(Table))))
        return clear.lastError();
    const QStringList fields{QStringLiteral("Title"), QStringLiteral("Author")};
    Writer writer{db, {}, {}};
    // The pieces of the block being read, each field's apart.
    QList<QSet<QString>> pieces(fields.size());
    qint64 block = -1;
    const auto flushBlock = [&] {
        for (qsizetype f = 0; f < fields.size(); ++f) {
            for (const QString &piece : std::as_const(pieces[f]))
                writer.add(fields.at(f), piece, block);
            pieces[f].clear();
        }
    };
    QSqlQuery read(db);
    read.setForwardOnly(true);
    if (!read.prepare(QStringLiteral("SELECT %1, %2, %3 FROM %4 WHERE %1 > ? ORDER BY %1 LIMIT %5")
                          .arg(quoted(Schema::IdColumn), quoted(fields.at(0)), quoted(fields.at(1)),
                               quoted(Schema::books().name))
                          .arg(BooksPerRead)))
        return read.lastError();
    qint64 last = -1, done = 0;
    struct Book {
        qint64 id;
        QString texts[2];
    };
    for (;;) {
        // The batch is read whole before anything is written: the server's
        // driver cannot run a statement while a result is still coming in.
        read.addBindValue(last);
        if (!read.exec())
            return read.lastError();
        QList<Book> batch;
        batch.reserve(BooksPerRead);
        while (read.next())
            batch.append(Book{read.value(0).toLongLong(), {read.value(1).toString(), read.value(2).toString()}});
        if (read.lastError().isValid())
            return read.lastError();
        read.finish();
        for (const Book &book : std::as_const(batch)) {
            last = book.id;
            if (blockOf(last) != block) {
                flushBlock();
                block = blockOf(last);
            }
            for (qsizetype f = 0; f < fields.size(); ++f) {
                const QList<char32_t> points = codePoints(book.texts[f]);
                for (qsizetype i = 0; i < points.size(); ++i)
                    for (qsizetype length = 1; length <= Length && i + length <= points.size(); ++length)
                        pieces[f].insert(pieceOf(points, i, length));
            }
        }
        done += batch.size();
        if (step)
            step(done);
        if (writer.error.isValid())
            return writer.error;
        if (batch.size() < BooksPerRead)
            break;
    }
    flushBlock();
    writer.flush();
    return writer.error;
}

namespace {
QSqlError run(QSqlDatabase &db, const QStringList &statements)
{
    for (const QString &statement : statements)
        if (QSqlQuery q(db); !q.exec(statement))
            return q.lastError();
    return {};
}
} // namespace

QSqlError suspend(QSqlDatabase &db)
{
    return run(db, Dialect::of(db).dropGramTriggers());
}

QSqlError resume(QSqlDatabase &db, const std::function<void(qint64)> &step)
{
    const Dialect &dialect = Dialect::of(db);
    if (const QSqlError e = run(db, dialect.dropGramTriggers() + dialect.gramTriggers()); e.isValid())
        return e;
    return rebuild(db, step);
}

} // namespace GramIndex
