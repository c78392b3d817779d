#include "app/runningdesk.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>

namespace {

const QByteArray ShowRequest = QByteArrayLiteral("show\n");
// A socket's address holds 108 bytes with its terminator; some room kept.
constexpr qsizetype LongestSocketPath = 100;
constexpr int AnswerWait = 2000;

bool fits(const QString &path)
{
    return QFile::encodeName(path).size() <= LongestSocketPath;
}

} // namespace

RunningDesk::RunningDesk(const QString &folder, QObject *parent)
    : QObject(parent), m_name(socketName(folder))
{
}

RunningDesk::~RunningDesk() = default;

QString RunningDesk::socketName(const QString &folder)
{
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    const QString name = QStringLiteral("tallymere-desk-")
                         + QString::fromLatin1(
                             QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(24));
    // The runtime folder is the user's own; the temporary one is shared.
    for (const QString &place :
         {QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), QDir::tempPath()}) {
        if (!place.isEmpty() && fits(QDir(place).filePath(name)))
            return QDir(place).filePath(name);
    }
    return name;
}

bool RunningDesk::askRunningDesk()
{
    // Two desks started together must not both find no one and both
    // listen, the second removing the first's socket.
    QLockFile starting((QFileInfo(m_name).isAbsolute() ? m_name : QDir::temp().filePath(m_name))
                       + QStringLiteral(".lock"));
    starting.tryLock(AnswerWait);

    QLocalSocket running;
    running.connectToServer(m_name);
    if (running.waitForConnected(AnswerWait)) {
        running.write(ShowRequest);
        running.waitForBytesWritten(AnswerWait);
        running.disconnectFromServer();
        return true;
    }
    // No one answers: a socket left there is that of a desk that crashed.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &RunningDesk::answer);
    if (!m_server->listen(m_name)) {
        qWarning("Tallymere: later starts cannot find this desk: %s", qPrintable(m_server->errorString()));
        delete m_server;
        m_server = nullptr;
    }
    return false;
}

void RunningDesk::answer()
{
    while (QLocalSocket *later = m_server->nextPendingConnection()) {
        // The later start may have written and gone before this turn of the
        // event loop: what it wrote is read on its going too.
        auto read = [this, later] {
            while (later->canReadLine()) {
                if (later->readLine() == ShowRequest)
                    emit showRequested();
            }
        };
        connect(later, &QLocalSocket::readyRead, this, read);
        connect(later, &QLocalSocket::disconnected, this, [later, read] {
            read();
            later->deleteLater();
        });
        read();
    }
}

void bringDeskToFront()
{
    QWidget *active = QApplication::activeModalWidget();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = window->windowType();
        if (!window->isVisible() || (type != Qt::Window && type != Qt::Dialog))
            continue;
        if (window->isMinimized())
            window->showNormal();
        window->raise();
        if (!active)
            active = window;
    }
    if (active) {
        active->raise();
        active->activateWindow();
    }
}
