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

bool isDateField(const QString &table, const QString &field)
{
    for (const Table *t : {&books(), &borrower(), &user()})
        if (t->name.compare(table, Qt::CaseInsensitive) == 0)
            return t->dateFields.contains(field);
    return false;
}

} // namespace Schema
