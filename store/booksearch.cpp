#include "store/booksearch.h"

#include "store/schema.h"

#include "store/sqlitehandle.h"

namespace BookSearch {

namespace {

// The trigram index finds a text of three characters or more.
constexpr int TrigramLength = 3;

void foldFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QByteArray folded = fold(QString::fromUtf8(text, sqlite3_value_bytes(argv[0]))).toUtf8();
    sqlite3_result_text(context, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
}

// `text` for LIKE with `\` as the escape: every character stands for itself.
QString literalLike(const QString &text)
{
    QString like;
    for (const QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            like += QLatin1Char('\\');
        like += c;
    }
    return like;
}

} // namespace

bool isSearchField(const QString &field)
{
    return field == QLatin1String("Title") || field == QLatin1String("Author");
}

QString fold(const QString &text)
{
    return text.toCaseFolded();
}

bool registerFold(const QSqlDatabase &db)
{
    sqlite3 *sqlite = sqliteHandle(db);
    return sqlite && sqlite3_create_function(sqlite, "tallymere_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                             nullptr, foldFunction, nullptr, nullptr) == SQLITE_OK;
}

Condition contains(const QString &field, const QString &text, Path path)
{
    const QString column = Schema::quoted(field);
    if (text.isEmpty())
        return {QStringLiteral("%1 IS NOT NULL").arg(column), {}, QString()};
    if (path == Path::Automatic)
        path = text.size() >= TrigramLength ? Path::Index : Path::Scan;
    // The index hands its rows over in rowid order, so the first page of a
    // common word costs no more than a rare one.
    if (path == Path::Index)
        return {QStringLiteral("\"books_search\" MATCH ?"),
                // An FTS5 phrase is quoted like an identifier.
                {QStringLiteral("%1 : %2").arg(field, Schema::quoted(text))},
                QStringLiteral("books_search")};
    // SQLite's own LIKE ignores the case of ASCII letters at full speed; only
    // a text with other letters needs the fold, row by row.
    const QString pattern = QStringLiteral("%") + literalLike(fold(text)) + QStringLiteral("%");
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return {QStringLiteral("%1 LIKE ? ESCAPE '\\'").arg(column), {pattern}, QString()};
    return {QStringLiteral("tallymere_fold(%1) LIKE ? ESCAPE '\\'").arg(column), {pattern}, QString()};
}

} // namespace BookSearch
