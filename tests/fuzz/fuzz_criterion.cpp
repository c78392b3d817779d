// The find criteria: any text given to the parser, and what the parser makes
// of criteria built from any typed text, matched by the engine's LIKE as the
// record sources match it.
#include "store/search/criterion.h"

#include <sqlite3.h>

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <cstdio>

namespace {

const QStringList Columns{QStringLiteral("AccessionNumber"), QStringLiteral("Username"),
                          QStringLiteral("Cost or            (in Peso)")};

sqlite3 *engine()
{
    static sqlite3 *db = [] {
        sqlite3 *opened = nullptr;
        if (sqlite3_open(":memory:", &opened) != SQLITE_OK)
            std::abort();
        return opened;
    }();
    return db;
}

void fail(const char *why, const QString &detail)
{
    std::fprintf(stderr, "%s: %s\n", why, qPrintable(detail));
    std::abort();
}

// `value` LIKE `pattern` ESCAPE '\', as the row source asks it.
bool likeMatches(const QString &value, const QString &pattern)
{
    static sqlite3_stmt *stmt = [] {
        sqlite3_stmt *prepared = nullptr;
        if (sqlite3_prepare_v2(engine(), "SELECT ?1 LIKE ?2 ESCAPE '\\'", -1, &prepared, nullptr) != SQLITE_OK)
            std::abort();
        return prepared;
    }();
    sqlite3_reset(stmt);
    sqlite3_bind_text16(stmt, 1, value.utf16(), int(value.size() * 2), SQLITE_TRANSIENT);
    sqlite3_bind_text16(stmt, 2, pattern.utf16(), int(pattern.size() * 2), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW)
        fail("the engine refused a pattern the parser made", pattern + QStringLiteral(" / ")
                                                                  + QString::fromUtf8(sqlite3_errmsg(engine())));
    return sqlite3_column_int(stmt, 0) != 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Longer texts only repeat what shorter ones find, and the engine caps
    // LIKE patterns at 50,000 bytes anyway.
    if (size > 4096)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    // Whatever the text, the parser either refuses it with a reason or
    // names one of the columns.
    const Criterion::Parsed parsed = Criterion::parse(text, Columns);
    if (parsed.ok != parsed.error.isEmpty())
        fail("ok and error disagree", text);
    if (parsed.ok && !Columns.contains(parsed.field))
        fail("a field that is no column", parsed.field);
    if (parsed.ok)
        likeMatches(QStringLiteral("A-1001"), parsed.likePattern);

    // Typed text joined into a criterion as the return desk joins it: the
    // parser takes it back, and the pattern finds the text itself, alone
    // and inside a longer value.
    const QString built = Criterion::build(QStringLiteral("AccessionNumber"),
                                           QStringLiteral("*") + Criterion::literal(text) + QStringLiteral("*"));
    const Criterion::Parsed back = Criterion::parse(built, Columns);
    if (text.contains(QChar(0))) {
        if (back.ok)
            fail("a pattern with a NUL character is taken", text);
        return 0;
    }
    if (!back.ok)
        fail("a built criterion does not parse", built + QStringLiteral(" / ") + back.error);
    if (back.field != QStringLiteral("AccessionNumber"))
        fail("a built criterion names another field", back.field);
    if (!likeMatches(text, back.likePattern))
        fail("typed text does not find itself", text);
    if (!likeMatches(QStringLiteral("x") + text + QStringLiteral("y"), back.likePattern))
        fail("typed text is not found inside a longer value", text);

    // Made literal without stars, it matches itself and nothing longer.
    const Criterion::Parsed exact =
        Criterion::parse(Criterion::build(QStringLiteral("Username"), Criterion::literal(text)), Columns);
    if (!exact.ok || !likeMatches(text, exact.likePattern))
        fail("a literal criterion does not find its own text", text);
    if (likeMatches(text + QStringLiteral("z"), exact.likePattern))
        fail("a literal criterion finds a longer text", text);
    return 0;
}
