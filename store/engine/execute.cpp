#include "store/engine/execute.h"
#include "store/engine/storeerror.h"

#include <QSqlQuery>

namespace Sql {

StoreError exec(QSqlDatabase &db, const QString &sql, const QVariantList &params)
{
    QSqlQuery q(db);
    // A statement without values is sent as it is: the server cannot
    // prepare statements that define tables or indexes.
    if (params.isEmpty())
        return q.exec(sql) ? StoreError() : q.lastError();
    if (!q.prepare(sql))
        return q.lastError();
    for (const QVariant &p : params)
        q.addBindValue(p);
    if (!q.exec())
        return q.lastError();
    return {};
}

StoreError execAll(QSqlDatabase &db, const QStringList &statements)
{
    for (const QString &statement : statements)
        if (const StoreError error = exec(db, statement); error.isValid())
            return error;
    return {};
}

} // namespace Sql
