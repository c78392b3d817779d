// The libpq side of the server desk: the watchdog that bounds every call,
// and the look at why a connection was refused.
#include "store/engine/serverlink.h"

#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

namespace ServerLink {

using Clock = std::chrono::steady_clock;

struct Watch::Entry {
    int socket = -1;
    Clock::time_point deadline;
    bool fired = false;
};

namespace {

// One thread watches every armed call. Why a shutdown and not PQcancel:
// the cancel request travels over a new connection, which a dropped
// network holds up as long as the call itself, and a backend that is
// stopped (SIGSTOP, a frozen virtual machine) cannot act on it either. A
// socket shut down on this side is a bound nobody else can hold up: libpq's
// wait returns at once, the call fails, and the connection is opened anew
// for the next operation. The server ends the old backend's transaction
// when it next reads the closed socket; a write it had not committed is
// lost, one it had is found by the caller's read-back.
class Watchdog
{
public:
    static Watchdog &instance()
    {
        static Watchdog dog;
        return dog;
    }

    void arm(const std::shared_ptr<Watch::Entry> &entry)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_entries.push_back(entry);
            if (!m_thread.joinable())
                m_thread = std::thread([this] { run(); });
        }
        m_wake.notify_one();
    }

    void disarm(const std::shared_ptr<Watch::Entry> &entry)
    {
        const std::lock_guard lock(m_mutex);
        m_entries.remove(entry);
    }

    bool fired(const Watch::Entry &entry)
    {
        const std::lock_guard lock(m_mutex);
        return entry.fired;
    }

    ~Watchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    Watchdog() = default;

    void run()
    {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            auto next = Clock::time_point::max();
            for (const auto &entry : m_entries) {
                if (entry->fired)
                    continue;
                if (entry->deadline <= Clock::now()) {
                    // The socket stays open (libpq closes it): only the
                    // connection is ended, so the number cannot be reused
                    // by another file meanwhile.
                    ::shutdown(entry->socket, SHUT_RDWR);
                    entry->fired = true;
                } else {
                    next = std::min(next, entry->deadline);
                }
            }
            if (next == Clock::time_point::max())
                m_wake.wait(lock);
            else
                m_wake.wait_until(lock, next);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::list<std::shared_ptr<Watch::Entry>> m_entries;
    std::thread m_thread;
    bool m_stop = false;
};

PGconn *connectionOf(const QSqlDatabase &db)
{
    if (!db.isValid() || !db.driver() || !db.isOpen())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    // Qt names the type as the driver declared it, or by the struct behind
    // libpq's typedef.
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

QString errorText(const PGconn *conn)
{
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

// The SQLSTATE in a message made with PQERRORS_SQLSTATE or VERBOSE
// verbosity: "FATAL:  28P01: password authentication failed ...".
QString stateIn(const QString &message)
{
    for (const QString &line : message.split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QLatin1String(":  "));
        if (colon < 0)
            continue;
        const QString code = line.mid(colon + 3, 5);
        if (code.size() == 5 && line.mid(colon + 8, 1) == QLatin1String(":")
            && std::all_of(code.cbegin(), code.cend(), [](QChar c) { return c.isDigit() || (c >= 'A' && c <= 'Z'); }))
            return code;
    }
    return QString();
}

// Drives a connection started with PQconnectStart to its end, waiting on
// its socket, so that the verbosity can be set before the server answers.
void finishConnect(PGconn *conn)
{
    for (PostgresPollingStatusType status = PGRES_POLLING_WRITING;;) {
        if (status == PGRES_POLLING_OK || status == PGRES_POLLING_FAILED)
            return;
        pollfd fd{PQsocket(conn), short(status == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        // libpq's connect_timeout bounds the whole attempt as in PQconnectdb;
        // this wait only keeps the loop from spinning.
        if (fd.fd < 0 || ::poll(&fd, 1, 1000) < 0)
            return;
        status = PQconnectPoll(conn);
    }
}

} // namespace

Watch::Watch(const QSqlDatabase &db, int seconds)
{
    PGconn *conn = connectionOf(db);
    if (!conn || PQsocket(conn) < 0)
        return;
    m_entry = std::make_shared<Entry>();
    m_entry->socket = PQsocket(conn);
    m_entry->deadline = Clock::now() + std::chrono::seconds(seconds);
    Watchdog::instance().arm(m_entry);
}

Watch::~Watch()
{
    if (m_entry)
        Watchdog::instance().disarm(m_entry);
}

bool Watch::fired() const
{
    return m_entry && Watchdog::instance().fired(*m_entry);
}

Refusal probe(const QString &options)
{
    Refusal refusal;
    PGconn *conn = PQconnectStart(options.toUtf8().constData());
    if (!conn) {
        refusal.message = QStringLiteral("out of memory");
        return refusal;
    }
    PQsetErrorVerbosity(conn, PQERRORS_VERBOSE);
    if (PQstatus(conn) != CONNECTION_BAD)
        finishConnect(conn);
    if (PQstatus(conn) == CONNECTION_BAD) {
        refusal.message = errorText(conn);
        refusal.state = stateIn(refusal.message);
        refusal.noPassword = refusal.state.isEmpty() && PQconnectionNeedsPassword(conn);
    }
    PQfinish(conn);
    return refusal;
}

Target resolve(const QString &options)
{
    Target target;
    // Starting a connection reads the service file and the environment;
    // it is given up before anything is sent.
    PGconn *conn = PQconnectStart(options.toUtf8().constData());
    if (!conn)
        return target;
    const auto text = [](const char *value) { return value ? QString::fromUtf8(value) : QString(); };
    target.host = text(PQhost(conn));
    target.database = text(PQdb(conn));
    target.user = text(PQuser(conn));
    PQfinish(conn);
    if (target.host.startsWith(QLatin1Char('/')) || target.host == QLatin1String("localhost"))
        target.host.clear();
    return target;
}

} // namespace ServerLink
