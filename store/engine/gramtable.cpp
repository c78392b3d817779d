#include "store/engine/gramtable.h"

#include "store/engine/dialect.h"
#include "store/engine/execute.h"
#include "store/engine/schema.h"
#include "store/engine/storeerror.h"
#include "store/search/gramindex.h"

#include <QSet>
#include <QSqlQuery>

using GramIndex::blockOf;
using Schema::quoted;

namespace GramTable {

namespace {

// Books read per statement while the index is filled: each batch is held
// in memory whole (see readBatch), two fields of at most 255 characters a
// book, so a batch stays a few megabytes however long the catalogue, and a
// million books take about 120 reads.
constexpr int BooksPerRead = 8192;
// Piece rows per INSERT: three parameters each, 768 a statement, under the
// smallest bound a SQLite build may set (999 before 3.32; 32,766 since, and
// Debian's library allows 250,000) and the server's 65,535, while a bulk
// insert still saves most of the per-statement cost.
constexpr int RowsPerInsert = 256;

const QStringList Fields{QStringLiteral("Title"), QStringLiteral("Author")};

// Writes piece rows a few hundred at a time; the first failure is kept and
// ends the writing.
struct Writer {
    QSqlDatabase &db;
    QVariantList pending;
    StoreError error;

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
                           .arg(quoted(GramIndex::Table), rows.join(QLatin1Char(',')))))
            error = q.lastError();
        for (const QVariant &v : pending)
            q.addBindValue(v);
        if (!error.isValid() && !q.exec())
            error = q.lastError();
        pending.clear();
    }
};

struct Book {
    qint64 id;
    QString texts[2];
};

// The pieces of the block being read, each field's apart, written out when
// the next block starts.
struct BlockPieces {
    Writer &writer;
    qint64 block = -1;
    QList<QSet<QString>> pieces = QList<QSet<QString>>(Fields.size());

    void add(const Book &book)
    {
        if (blockOf(book.id) != block) {
            flush();
            block = blockOf(book.id);
        }
        for (qsizetype f = 0; f < Fields.size(); ++f)
            pieces[f].unite(GramIndex::pieces(book.texts[f]));
    }

    void flush()
    {
        for (qsizetype f = 0; f < Fields.size(); ++f) {
            for (const QString &piece : std::as_const(pieces[f]))
                writer.add(Fields.at(f), piece, block);
            pieces[f].clear();
        }
    }
};

// The next batch of books after identity `after`, read whole: the server's
// driver cannot run a statement while a result is still coming in.
StoreError readBatch(QSqlQuery &read, qint64 after, QList<Book> *batch)
{
    read.addBindValue(after);
    if (!read.exec())
        return read.lastError();
    batch->clear();
    while (read.next())
        batch->append(Book{read.value(0).toLongLong(), {read.value(1).toString(), read.value(2).toString()}});
    const StoreError error = read.lastError();
    read.finish();
    return error;
}

} // namespace

StoreError rebuild(QSqlDatabase &db, const std::function<void(qint64)> &step)
{
    if (QSqlQuery clear(db); !clear.exec(QStringLiteral("DELETE FROM %1").arg(quoted(GramIndex::Table))))
        return clear.lastError();
    QSqlQuery read(db);
    read.setForwardOnly(true);
    if (!read.prepare(QStringLiteral("SELECT %1, %2, %3 FROM %4 WHERE %1 > ? ORDER BY %1 LIMIT %5")
                          .arg(quoted(Schema::IdColumn), quoted(Fields.at(0)), quoted(Fields.at(1)),
                               quoted(Schema::books().name))
                          .arg(BooksPerRead)))
        return read.lastError();
    Writer writer{db, {}, {}};
    BlockPieces block{writer};
    QList<Book> batch;
    batch.reserve(BooksPerRead);
    for (qint64 last = -1, done = 0;; done += batch.size()) {
        if (const StoreError e = readBatch(read, last, &batch); e.isValid())
            return e;
        for (const Book &book : std::as_const(batch))
            block.add(book);
        if (!batch.isEmpty())
            last = batch.last().id;
        if (step)
            step(done + batch.size());
        if (writer.error.isValid())
            return writer.error;
        if (batch.size() < BooksPerRead)
            break;
    }
    block.flush();
    writer.flush();
    return writer.error;
}

StoreError suspend(QSqlDatabase &db)
{
    return Sql::execAll(db, Dialect::of(db).dropGramTriggers());
}

StoreError resume(QSqlDatabase &db, const std::function<void(qint64)> &step)
{
    const Dialect &dialect = Dialect::of(db);
    if (const StoreError e = Sql::execAll(db, dialect.dropGramTriggers() + dialect.gramTriggers()); e.isValid())
        return e;
    return rebuild(db, step);
}

} // namespace GramTable
