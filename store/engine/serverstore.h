#pragma once

#include "store/engine/location.h"

#include <QSqlError>

// The server's side of what the store does besides its statements: setting
// up or upgrading a database, and finding why a server refused a desk.
namespace ServerStore {

// Sets up the tables of a server database that has none, upgrades one of
// an older version, refuses a newer one; all in one transaction.
QSqlError install(const StoreLocation &location);

// The error when Qt's PostgreSQL driver is not installed; none when it is.
QSqlError driverMissing(const QString &driver);
// Why the server of `location` refused a connection that Qt's driver
// reports only as failed, after `waitedMs` of trying.
QSqlError refusal(const StoreLocation &location, const QSqlError &driverError, qint64 waitedMs);

} // namespace ServerStore
