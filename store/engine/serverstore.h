#pragma once

#include "store/engine/location.h"
#include "store/engine/storeerror.h"

#include <QSqlError>

// The server's side of what the store does besides its statements: setting
// up or upgrading a database, and finding why a server refused a desk.
namespace ServerStore {

// Sets up the tables of a server database that has none, upgrades one of
// an older version, refuses a newer one; all in one transaction.
StoreError install(const StoreLocation &location);

// The error when Qt's PostgreSQL driver is not installed; none when it is.
StoreError driverMissing(const QString &driver);
// Why the server of `location` refused a connection that Qt's driver
// reports only as failed, after `waitedMs` of trying.
StoreError refusal(const StoreLocation &location, const QSqlError &driverError, qint64 waitedMs);

} // namespace ServerStore
