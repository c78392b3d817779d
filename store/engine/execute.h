#pragma once

#include "store/engine/storeerror.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>

// Running statements whose rows nobody reads: the engine's error, not yet
// explained, or none.
namespace Sql {

// Runs `sql` on `db` with `params` bound in order.
StoreError exec(QSqlDatabase &db, const QString &sql, const QVariantList &params = {});
// Runs each of `statements` in turn, stopping at the first that fails.
StoreError execAll(QSqlDatabase &db, const QStringList &statements);

} // namespace Sql
