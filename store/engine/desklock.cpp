#include "store/engine/desklock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

DeskLock::DeskLock(const QString &folder, Kind kind)
{
    // A restore may be the first to make the data folder: it is the owner's.
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(fileName()));
    // Not inherited by the programs the desk starts (the text editor, the
    // calculator): they would keep the desk's presence alive after it ends.
    int fd;
    do
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        m_error = QStringLiteral("Cannot open %1: %2")
                      .arg(QDir::toNativeSeparators(QFile::decodeName(path)), QString::fromLocal8Bit(std::strerror(error)));
        return;
    }
    const int operation = kind == Kind::Shared ? LOCK_SH : LOCK_EX | LOCK_NB;
    int rc;
    do
        rc = ::flock(fd, operation);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        const int error = errno;
        m_busy = error == EWOULDBLOCK;
        m_error = m_busy ? QStringLiteral("A Tallymere desk program has the stores in %1 open.")
                               .arg(QDir::toNativeSeparators(folder))
                         : QStringLiteral("Cannot lock %1: %2")
                               .arg(QDir::toNativeSeparators(QFile::decodeName(path)),
                                    QString::fromLocal8Bit(std::strerror(error)));
        ::close(fd);
        return;
    }
    m_fd = fd;
}

DeskLock::~DeskLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString DeskLock::fileName()
{
    return QStringLiteral("desk.lock");
}
