#pragma once

#include <QSqlDatabase>
#include <QString>

// The PostgreSQL server a test may run on. CTest's `_server` runs set
// TALLYMERE_TEST_SERVER to libpq-style options ("host=... port=... user=...")
// of the throwaway cluster tests/pgcluster.sh starts; plain runs leave it
// unset and stay on SQLite.
namespace TestServer {

bool active();
QString options();
// A new, empty database with pg_trgm, named t_<pid>_<counter>.
QString freshDatabase();
// Drops it even while connections to it are still open.
void dropDatabase(const QString &name);
// Restarts the server as an administrator does: every connection to it is
// ended, the databases kept. Only the throwaway cluster can be restarted.
void restart();
// The server processes of the desk programs' connections to `database`
// (their application name is "Tallymere@" and the host).
QList<qint64> deskBackends(const QString &database);
// A QPSQL connection to `database` on the server, set up but not opened.
QSqlDatabase addDatabase(const QString &database, const QString &connectionName);

} // namespace TestServer
