#pragma once

#include <QString>

// Tells whether a desk program has the stores of a data folder open. Every
// running desk program holds a shared lock on the file desk.lock in its data
// folder for as long as it runs, so several may run together; whatever must
// have the stores to itself (a restore) takes the lock exclusively and is
// refused while any desk program holds it. The operating system drops the
// lock with the process, however that ends.
class DeskLock
{
public:
    enum class Kind {
        // Waits while an exclusive holder finishes, then holds the lock
        // beside any other shared holder.
        Shared,
        // Takes the lock at once or not at all.
        Exclusive,
    };

    DeskLock(const QString &folder, Kind kind = Kind::Shared);
    ~DeskLock();
    DeskLock(const DeskLock &) = delete;
    DeskLock &operator=(const DeskLock &) = delete;

    bool isHeld() const { return m_fd >= 0; }
    // Why the lock is not held; empty when it is.
    QString errorText() const { return m_error; }
    // True when the lock was refused because another program holds it.
    bool isBusy() const { return m_busy; }

    static QString fileName();

private:
    int m_fd = -1;
    bool m_busy = false;
    QString m_error;
};
