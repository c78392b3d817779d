#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>

// Running statements whose rows nobody reads: the engine's error, not yet
// explained, or none.
namespace Sql {

// Runs `sql` on `db` with `params` bound in order.
QSqlError exec(QSqlDatabase &db, const QString &sql, const QVariantList &params = {});
// Runs each of `statements` in turn, stopping at the first that fails.
QSqlError execAll(QSqlDatabase &db, const QStringList &statements);

} // namespace Sql
