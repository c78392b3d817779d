// A second start on a data folder: it finds the desk running there, which
// is asked to come to the front, and a start after a crash is not fooled by
// the socket the crashed desk left.
#include "app/runningdesk.h"

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class RunningDeskTest : public QObject
{
    Q_OBJECT

private slots:
    void shouldSendEveryLaterStartToTheRunningDeskUntilItEnds()
    {
        QTemporaryDir folder;
        {
            RunningDesk first(folder.path());
            QSignalSpy shown(&first, &RunningDesk::showRequested);
            QVERIFY(!first.askRunningDesk());
            for (int start = 1; start <= 2; ++start) {
                QVERIFY(RunningDesk(folder.path()).askRunningDesk());
                QTRY_COMPARE(shown.count(), start);
            }
        }
        // Once it has ended, the next start takes over.
        RunningDesk next(folder.path());
        QVERIFY(!next.askRunningDesk());
        QVERIFY(RunningDesk(folder.path()).askRunningDesk());
    }

    void shouldGiveEachFolderASocketOfItsOwnThatFitsItsAddress()
    {
        QTemporaryDir one;
        QTemporaryDir other;
        RunningDesk first(one.path());
        QVERIFY(!first.askRunningDesk());
        RunningDesk second(other.path());
        QVERIFY(!second.askRunningDesk());
        QVERIFY(RunningDesk::socketName(one.path()) != RunningDesk::socketName(other.path()));
        // The same folder however written.
        QCOMPARE(RunningDesk::socketName(one.path() + QStringLiteral("/./")), RunningDesk::socketName(one.path()));
        const QString deep = QStringLiteral("/home/a-librarian/") + QString(250, QLatin1Char('x')) + QStringLiteral("/Tallymere");
        QVERIFY(QFile::encodeName(RunningDesk::socketName(deep)).size() < int(sizeof(sockaddr_un::sun_path)));
    }

    void shouldTakeOverTheSocketACrashedDeskLeft()
    {
        QTemporaryDir folder;
        const QByteArray path = QFile::encodeName(RunningDesk::socketName(folder.path()));
        // What a desk that crashed leaves: a socket file that no one answers on.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof(address.sun_path));
        QVERIFY(fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0);
        ::close(fd);
        QVERIFY(QFile::exists(QFile::decodeName(path)));

        RunningDesk desk(folder.path());
        QSignalSpy shown(&desk, &RunningDesk::showRequested);
        QVERIFY(!desk.askRunningDesk());
        QVERIFY(RunningDesk(folder.path()).askRunningDesk());
        QTRY_COMPARE(shown.count(), 1);
    }

    void shouldBringAMinimizedDeskBack()
    {
        QWidget screen(nullptr, Qt::Window);
        screen.resize(200, 100);
        screen.showMinimized();
        QVERIFY(screen.isMinimized());
        bringDeskToFront();
        QVERIFY(!screen.isMinimized() && screen.isVisible());
    }
};

QTEST_MAIN(RunningDeskTest)
#include "tst_runningdesk.moc"
