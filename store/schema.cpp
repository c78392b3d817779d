#include "store/schema.h"

namespace Schema {

const Table &books()
{
    static const Table t{
        QStringLiteral("books"), File::Transactions,
        {QStringLiteral("BookNumber"), QStringLiteral("Classification"),
         QStringLiteral("Date received"), QStringLiteral("ISBN"),
         QStringLiteral("Remarks"), QStringLiteral("Year"),
         QStringLiteral("Publisher"),
         QStringLiteral("Cost or            (in Peso)"),
         QStringLiteral("Source of Fund"), QStringLiteral("Pages"),
         QStringLiteral("Vol"), QStringLiteral("Edition"),
         QStringLiteral("Title"), QStringLiteral("Author"),
         QStringLiteral("Price              (in Dollar)")},
        {}};
    return t;
}

const Table &borrower()
{
    static const Table t{
        QStringLiteral("tblBorrower"), File::Tallymere,
        {QStringLiteral("AccessionNumber"), QStringLiteral("BookNumber"),
         QStringLiteral("BookTitle"), QStringLiteral("Category"),
         QStringLiteral("Borrower"), QStringLiteral("DateBorrowed"),
         QStringLiteral("Remarks"), QStringLiteral("DateReturned"),
         QStringLiteral("Status"), QStringLiteral("Section"),
         QStringLiteral("Condition"), QStringLiteral("DaysBorrowed"),
         QStringLiteral("Overduedays"), QStringLiteral("howmanydays"),
         QStringLiteral("fines")},
        {QStringLiteral("DateBorrowed"), QStringLiteral("DateReturned")}};
    return t;
}

const Table &user()
{
    static const Table t{
        QStringLiteral("tblUser"), File::Tallymere,
        {QStringLiteral("Username"), QStringLiteral("Password"),
         QStringLiteral("Confirm"), QStringLiteral("Hint")},
        {}};
    return t;
}

const Table *table(const QString &name)
{
    for (const Table *t : {&books(), &borrower(), &user()})
        if (t->name.compare(name, Qt::CaseInsensitive) == 0)
            return t;
    return nullptr;
}

QList<const Table *> tables(File file)
{
    if (file == File::Transactions)
        return {&books()};
    return {&borrower(), &user()};
}

QString fileName(File file)
{
    return file == File::Transactions ? QStringLiteral("Transactions.db") : QStringLiteral("Tallymere.db");
}

const QList<Upgrade> &upgrades(File file)
{
    // Version 0 is the first store: exactly the tables above.
    static const QList<Upgrade> transactions{
        // 1: a trigram index over the two searched fields, kept in step with
        // books by triggers whoever writes it.
        {1,
         {QStringLiteral("CREATE VIRTUAL TABLE \"books_search\" USING fts5(\"Title\", \"Author\", content='books',"
                         " content_rowid='rowid', tokenize='trigram case_sensitive 0')"),
          QStringLiteral("INSERT INTO \"books_search\" (\"books_search\") VALUES ('rebuild')"),
          QStringLiteral("CREATE TRIGGER \"books_search_insert\" AFTER INSERT ON \"books\" BEGIN"
                         " INSERT INTO \"books_search\" (rowid, \"Title\", \"Author\")"
                         " VALUES (new.rowid, new.\"Title\", new.\"Author\"); END"),
          QStringLiteral("CREATE TRIGGER \"books_search_delete\" AFTER DELETE ON \"books\" BEGIN"
                         " INSERT INTO \"books_search\" (\"books_search\", rowid, \"Title\", \"Author\")"
                         " VALUES ('delete', old.rowid, old.\"Title\", old.\"Author\"); END"),
          QStringLiteral("CREATE TRIGGER \"books_search_update\" AFTER UPDATE ON \"books\" BEGIN"
                         " INSERT INTO \"books_search\" (\"books_search\", rowid, \"Title\", \"Author\")"
                         " VALUES ('delete', old.rowid, old.\"Title\", old.\"Author\");"
                         " INSERT INTO \"books_search\" (rowid, \"Title\", \"Author\")"
                         " VALUES (new.rowid, new.\"Title\", new.\"Author\"); END")}}};
    static const QList<Upgrade> tallymere;
    return file == File::Transactions ? transactions : tallymere;
}

int lastVersion(const QList<Upgrade> &steps)
{
    return steps.isEmpty() ? 0 : steps.last().version;
}

int currentVersion(File file)
{
    return lastVersion(upgrades(file));
}

QString quoted(const QString &name)
{
    QString inner = name;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QString createStatement(const Table &table)
{
    QStringList columns;
    for (const QString &field : table.fields) {
        const QString q = quoted(field);
        QString check = QStringLiteral("length(%1) <= %2").arg(q).arg(MaxTextLength);
        if (table.dateFields.contains(field))
            check = QStringLiteral("%1 IS NULL OR (length(%1) = 10 AND date(%1) = %1)").arg(q);
        columns << QStringLiteral("%1 TEXT CHECK (%2)").arg(q, check);
    }
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(quoted(table.name), columns.join(QStringLiteral(", ")));
}

bool isDateField(const QString &tableName, const QString &field)
{
    const Table *t = table(tableName);
    return t && t->dateFields.contains(field);
}

} // namespace Schema
