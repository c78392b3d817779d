#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QThread;

// The desk's own backups: the folder they go into, the one made at the
// desk's first start of each day, which of them are kept, and the list the
// admin tool shows. A backup here is a folder Backup::backup made.
namespace DailyBackup {

// The file in the data folder that names the backup folder, when one was
// set; without it the backups go into backups/ in the data folder.
QString settingFileName();
QString defaultFolder(const QString &dataFolder);
// Where the backups of the desk of `dataFolder` go; empty, with `*error`,
// when the setting cannot be read.
QString folder(const QString &dataFolder, QString *error = nullptr);
// Sends the backups into `folder` from now on; it must exist (a stick or a
// share that is not there is never stood in for by a new empty folder), and
// so must the data folder.
bool setFolder(const QString &dataFolder, const QString &folder, QString *error);

// How many backups are kept: every one of the last KeptDays days, then the
// newest of each calendar week for KeptWeeks weeks beyond those.
inline constexpr int KeptDays = 7;
inline constexpr int KeptWeeks = 8;

struct Entry {
    QString name;
    QString path;
    QDateTime made;
    qint64 bytes = 0;
    // The rows each store holds; -1 until counted (see count), or when the
    // store cannot be read (`fault` then says why).
    qint64 loans = -1;
    qint64 books = -1;
    QString fault;
};

// When a folder named `name` was made, if this program named it; invalid
// for any other name.
QDateTime madeAt(const QString &name);
// The backups in `parent`, newest first: only folders this program named.
QList<Entry> list(const QString &parent);
// Counts the loans and the books of `entry`'s stores.
void count(Entry &entry);
// The backups of `entries` (newest first) that are no longer kept on `today`.
QList<Entry> expired(const QList<Entry> &entries, const QDate &today);
// Removes the backups in `parent` no longer kept on `today`: their store
// files, then the folder, which is left when anything else is in it. The
// paths removed are listed in `*removed`.
bool rotate(const QString &parent, const QDate &today, QStringList *removed, QString *error);

struct Outcome {
    enum class Kind { Made, NotDue, Failed };
    Kind kind = Kind::NotDue;
    QString folder;    // the backup made
    QString error;     // why none could be made: one sentence
    QStringList removed;
};

// Whether `parent` lacks a backup made on `day`.
bool isDue(const QString &parent, const QDate &day);
// The day's backup of the stores in `dataFolder` at `now`, unless the
// backup folder already holds one of that day; then the rotation. Safe on
// a thread of its own (its connections are its own).
Outcome run(const QString &dataFolder, const QDateTime &now);

// A failed backup is told once a day: whether it was told on `day`, and
// noting that it was.
bool failureToldOn(const QString &dataFolder, const QDate &day);
void noteFailureTold(const QString &dataFolder, const QDate &day);

// Runs the day's backup on a thread of its own, so that nothing the desk
// does waits for it. Destroying it waits for a backup under way.
class Runner : public QObject
{
    Q_OBJECT
public:
    explicit Runner(const QString &dataFolder, QObject *parent = nullptr);
    ~Runner() override;

    // Starts the backup of the day of Clock::now().
    void start();
    bool isRunning() const;
    // What the last backup came to; valid once finished() was sent.
    Outcome outcome() const { return m_outcome; }

signals:
    void finished();

private:
    QString m_dataFolder;
    QThread *m_thread = nullptr;
    Outcome m_outcome;
};

} // namespace DailyBackup
