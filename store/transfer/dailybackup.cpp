#include "store/transfer/dailybackup.h"

#include "store/engine/clock.h"
#include "store/engine/database.h"
#include "store/engine/location.h"
#include "store/engine/schema.h"
#include "store/engine/sql.h"
#include "store/engine/storeerror.h"
#include "store/transfer/backup.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QThread>

#include <algorithm>
#include <functional>
#include <utility>

namespace DailyBackup {

namespace {

using Paths::native;

QString toldFileName()
{
    return QStringLiteral("backup-failure-told");
}

// The files a backup folder may hold: the two stores and their journals.
QStringList storeFiles()
{
    QStringList names;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere})
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            names << Schema::fileName(file) + QLatin1String(suffix);
    return names;
}

qint64 sizeOf(const QString &folder)
{
    qint64 bytes = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        bytes += it.nextFileInfo().size();
    return bytes;
}

qint64 rowsOf(const QString &folder, const Schema::Table &table, QString *fault)
{
    Database::Connection store(StoreLocation::files(folder).path(table.file));
    if (!store.open()) {
        *fault = store.lastError().text();
        return -1;
    }
    QSqlQuery q(store.database());
    if (!q.exec(Sql::count(table.name, QString())) || !q.next()) {
        *fault = store.explain(q.lastError()).text();
        return -1;
    }
    return q.value(0).toLongLong();
}

// The calendar week of `day`, counted from Mondays.
qint64 weekOf(const QDate &day)
{
    return day.toJulianDay() / 7;
}

// Removes the backup at `path`: its store files, then the folder if that
// left it empty. Nothing else is ever removed.
bool removeBackup(const QString &path)
{
    QDir dir(path);
    for (const QString &name : storeFiles())
        if (dir.exists(name) && !dir.remove(name))
            return false;
    return QDir().rmdir(path);
}

// A thread that runs one piece of work. (QThread::create would do, but it
// goes through std::async, whose call_once makes the programs need the
// dynamic loader's TLS entry point directly, which no package declares.)
class WorkThread : public QThread
{
public:
    explicit WorkThread(std::function<void()> work) : m_work(std::move(work)) {}

protected:
    void run() override { m_work(); }

private:
    std::function<void()> m_work;
};

} // namespace

QString settingFileName()
{
    return QStringLiteral("backup.conf");
}

QString defaultFolder(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("backups"));
}

QString folder(const QString &dataFolder, QString *error)
{
    QString set;
    if (!DeskStore::readSetting(QDir(dataFolder).filePath(settingFileName()), &set, error))
        return {};
    return set.isEmpty() ? defaultFolder(dataFolder) : set;
}

bool setFolder(const QString &dataFolder, const QString &folder, QString *error)
{
    const QFileInfo info(folder);
    if (!info.isDir()) {
        *error = QStringLiteral("There is no folder %1.").arg(native(folder));
        return false;
    }
    // The setting belongs to a desk: it never makes a data folder of its own.
    if (!QFileInfo(dataFolder).isDir()) {
        *error = QStringLiteral("There is no data folder %1.").arg(native(dataFolder));
        return false;
    }
    return DeskStore::writeSetting(QDir(dataFolder).filePath(settingFileName()),
                                   {QStringLiteral("The folder the desk's backups go into (tallymere-admin backup-folder).")},
                                   info.absoluteFilePath(), error);
}

QDateTime madeAt(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^Tallymere-(\\d{4}-\\d{2}-\\d{2}-\\d{6})(-\\d+)?$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return {};
    return QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd-HHmmss"));
}

QList<Entry> list(const QString &parent)
{
    QList<Entry> entries;
    const QDir dir(parent);
    for (const QFileInfo &info : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDateTime made = madeAt(info.fileName());
        if (!made.isValid())
            continue;
        Entry entry;
        entry.name = info.fileName();
        entry.path = info.absoluteFilePath();
        entry.made = made;
        entry.bytes = sizeOf(entry.path);
        entries << entry;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        return a.made != b.made ? a.made > b.made : a.name > b.name;
    });
    return entries;
}

void count(Entry &entry)
{
    entry.fault.clear();
    entry.loans = rowsOf(entry.path, Schema::borrower(), &entry.fault);
    if (entry.fault.isEmpty())
        entry.books = rowsOf(entry.path, Schema::books(), &entry.fault);
}

QList<Entry> expired(const QList<Entry> &entries, const QDate &today)
{
    const QDate firstDaily = today.addDays(1 - KeptDays);
    // The weeks kept: the one holding the day before the daily ones, and
    // the weeks before it, KeptWeeks in all.
    const qint64 lastWeek = weekOf(firstDaily.addDays(-1));
    QList<Entry> gone;
    // Newest first: the first backup met in a week is the one that week keeps.
    QSet<qint64> weeksKept;
    for (const Entry &entry : entries) {
        const QDate day = entry.made.date();
        if (day >= firstDaily)
            continue;
        const qint64 week = weekOf(day);
        if (week > lastWeek - KeptWeeks && !weeksKept.contains(week)) {
            weeksKept.insert(week);
            continue;
        }
        gone << entry;
    }
    return gone;
}

bool rotate(const QString &parent, const QDate &today, QStringList *removed, QString *error)
{
    QStringList left;
    for (const Entry &entry : expired(list(parent), today)) {
        if (removeBackup(entry.path))
            *removed << entry.path;
        else
            left << native(entry.path);
    }
    if (left.isEmpty())
        return true;
    *error = QStringLiteral("The old backups %1 were left where they are: they hold files Tallymere did not put there.")
                 .arg(left.join(QStringLiteral(", ")));
    return false;
}

bool isDue(const QString &parent, const QDate &day)
{
    const QList<Entry> entries = list(parent);
    return std::none_of(entries.begin(), entries.end(), [&](const Entry &e) { return e.made.date() == day; });
}

Outcome run(const QString &dataFolder, const QDateTime &now)
{
    Outcome outcome;
    const QString parent = folder(dataFolder, &outcome.error);
    if (parent.isEmpty()) {
        outcome.kind = Outcome::Kind::Failed;
        return outcome;
    }
    // A folder set by hand is a stick or a share: when it is not there, a
    // new folder in its place would only fill the disk it stands on.
    if (parent != defaultFolder(dataFolder) && !QFileInfo(parent).isDir()) {
        outcome.kind = Outcome::Kind::Failed;
        outcome.error = QStringLiteral("The backup folder %1 is not there.").arg(native(parent));
        return outcome;
    }
    if (!isDue(parent, now.date()))
        return outcome;
    // The desk's own backups folder is its owner's alone from the start.
    if (!QFileInfo::exists(parent)) {
        if (!QDir().mkpath(parent)) {
            outcome.kind = Outcome::Kind::Failed;
            outcome.error = QStringLiteral("Cannot create the folder %1.").arg(native(parent));
            return outcome;
        }
        QFile::setPermissions(parent, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const StoreError failure = Backup::backup(dataFolder, parent, &outcome.folder, {}, now);
    if (failure.isValid()) {
        outcome.kind = Outcome::Kind::Failed;
        outcome.error = failure.text();
        return outcome;
    }
    outcome.kind = Outcome::Kind::Made;
    QString rotation;
    if (!rotate(parent, now.date(), &outcome.removed, &rotation))
        outcome.error = rotation;
    return outcome;
}

bool failureToldOn(const QString &dataFolder, const QDate &day)
{
    QString told;
    DeskStore::readSetting(QDir(dataFolder).filePath(toldFileName()), &told);
    return QDate::fromString(told, Qt::ISODate) == day;
}

void noteFailureTold(const QString &dataFolder, const QDate &day)
{
    // Not being able to note it only means the box may come once more.
    QString ignored;
    DeskStore::writeSetting(QDir(dataFolder).filePath(toldFileName()),
                            {QStringLiteral("The day the desk last said that its backup could not be made.")},
                            day.toString(Qt::ISODate), &ignored);
}

Runner::Runner(const QString &dataFolder, QObject *parent) : QObject(parent), m_dataFolder(dataFolder) {}

Runner::~Runner()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void Runner::start()
{
    if (isRunning())
        return;
    if (m_thread)
        m_thread->wait(); // it has sent finished(), but may not have ended yet
    delete m_thread;
    const QString dataFolder = m_dataFolder;
    const QDateTime now = Clock::now();
    m_thread = new WorkThread([this, dataFolder, now] { m_outcome = run(dataFolder, now); });
    // Sent from the backup's thread, received on this object's.
    connect(m_thread, &QThread::finished, this, &Runner::finished);
    m_thread->start(QThread::LowPriority);
}

bool Runner::isRunning() const
{
    return m_thread && m_thread->isRunning();
}

} // namespace DailyBackup
