#include "store/engine/execute.h"

#include <QSqlQuery>

namespace Sql {

QSqlError exec(QSqlDatabase &db, const QString &sql, const QVariantList &params)
{
    QSqlQuery q(db);
    // A statement without values is sent as it is: the server cannot
    // prepare statements that define tables or indexes.
    if (params.isEmpty())
        return q.exec(sql) ? QSqlError() : q.lastError();
    if (!q.prepare(sql))
        return q.lastError();
    for (const QVariant &p : params)
        q.addBindValue(p);
    if (!q.exec())
        return q.lastError();
    return {};
}

QSqlError execAll(QSqlDatabase &db, const QStringList &statements)
{
    for (const QString &statement : statements)
        if (const QSqlError error = exec(db, statement); error.isValid())
            return error;
    return {};
}

} // namespace Sql
