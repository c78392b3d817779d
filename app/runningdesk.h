#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One desk program to a data folder. The first to start on a folder
// answers on a local socket named after the folder; a later start finds it
// there, asks it to come to the front and ends, instead of opening a
// second desk on the same stores.
class RunningDesk : public QObject
{
    Q_OBJECT
public:
    explicit RunningDesk(const QString &folder, QObject *parent = nullptr);
    ~RunningDesk() override;

    // Asks the desk already running on the folder to show itself; true when
    // there is one. Otherwise this one answers the later starts from now on
    // (as far as the system lets it: a desk that cannot listen still runs).
    bool askRunningDesk();

    // Where the desk of `folder` listens: in the user's runtime folder,
    // named from a hash of the folder, short enough for a socket address.
    static QString socketName(const QString &folder);

signals:
    // A later start on the same folder asked this desk to come to the front.
    void showRequested();

private:
    void answer();

    QString m_name;
    QLocalServer *m_server = nullptr;
};

// Brings the desk's windows to the front: restored when minimized, the
// box awaiting an answer (else the screen) active.
void bringDeskToFront();
