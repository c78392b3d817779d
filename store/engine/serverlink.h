#pragma once

#include <QSqlDatabase>
#include <QString>

#include <memory>

// What the desk needs of libpq itself, beyond Qt's QPSQL driver: a bound on
// every call to the server, and the server's own reason when a connection
// is refused.
namespace ServerLink {

// How long a desk waits for a server to answer a new connection.
inline constexpr int ConnectTimeoutSeconds = 5;
// How long a desk waits for one operation on the server before it gives
// the connection up, in seconds.
inline constexpr int AnswerLimitSeconds = 7;

// While one lives, the connection of `db` (a QPSQL one; others are left
// alone) is given up once `seconds` have passed: its socket is shut down,
// which makes libpq's blocking wait return with an error. The caller then
// asks fired() whether that is why its call failed.
class Watch
{
public:
    explicit Watch(const QSqlDatabase &db, int seconds = AnswerLimitSeconds);
    ~Watch();
    Watch(const Watch &) = delete;
    Watch &operator=(const Watch &) = delete;

    bool fired() const;

    // What the watchdog keeps of one armed call.
    struct Entry;

private:
    std::shared_ptr<Entry> m_entry;
};

// The server's answer to a connection attempt that Qt's driver only
// reports as failed.
struct Refusal {
    QString state;       // the SQLSTATE the server gave, empty when none
    bool noPassword = false; // the server asked for a password and none was at hand
    QString message;     // libpq's own words
};

// Connects once more with `options` (libpq's key=value text) to learn why
// the connection is refused; an empty state with a message means the
// server was not reached at all.
Refusal probe(const QString &options);

// Where libpq's `options` lead once a service file and the environment
// are read: the host ("" for this computer's socket), the database and
// the user.
struct Target {
    QString host;
    QString database;
    QString user;
};
Target resolve(const QString &options);

} // namespace ServerLink
