#include "store/engine/schema.h"

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

bool isHidden(const QString &column)
{
    return column == IdColumn || column == VersionColumn;
}

int currentVersion(File file)
{
    // Transactions: 1 gave the catalogue its search index, 2 the hidden
    // columns, 3 the index of short texts. Tallymere: 1 the hidden columns,
    // 2 the loan history.
    return file == File::Transactions ? 3 : 2;
}

QStringList History::columns()
{
    return {At, Desk, Role, Source, RowId, Accession, Kind, Before, After};
}

int lastVersion(const QList<Upgrade> &steps)
{
    return steps.isEmpty() ? 0 : steps.last().version;
}

QString quoted(const QString &name)
{
    QString inner = name;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QStringList fieldDefinitions(const Table &table, const QString &dateCheck)
{
    QStringList columns;
    for (const QString &field : table.fields) {
        const QString q = quoted(field);
        QString check = QStringLiteral("length(%1) <= %2").arg(q).arg(MaxTextLength);
        if (table.dateFields.contains(field))
            check = QStringLiteral("%1 IS NULL OR (%2)").arg(q, dateCheck.arg(q));
        columns << QStringLiteral("%1 TEXT CHECK (%2)").arg(q, check);
    }
    return columns;
}

bool isDateField(const QString &tableName, const QString &field)
{
    const Table *t = table(tableName);
    return t && t->dateFields.contains(field);
}

} // namespace Schema
