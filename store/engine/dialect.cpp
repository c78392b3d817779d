// Which engine's dialect speaks for a connection, an engine or a location.
#include "store/engine/dialect.h"
#include "store/engine/storeerror.h"

const Dialect &Dialect::of(const QSqlDatabase &db)
{
    return db.driverName() == server().driver() ? server() : sqlite();
}

const Dialect &Dialect::of(const StoreLocation &location)
{
    return location.isServer() ? server() : sqlite();
}

const Dialect &Dialect::of(StoreError::Engine engine)
{
    return engine == StoreError::Engine::Server ? server() : sqlite();
}
