#include "storesupport.h"

#include "servertest.h"
#include "store/engine/database.h"
#include "store/engine/schema.h"
#include "store/engine/storeerror.h"
#include "store/records/browsesource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

SmallDisk::SmallDisk(const QString &folder) : m_at(folder.isEmpty() ? m_dir.path() : folder)
{
    const QDir at(m_at), copy(m_dir.path());
    const QStringList files = folder.isEmpty() ? QStringList() : at.entryList(QDir::Files | QDir::Hidden);
    for (const QString &file : files)
        if (!QFile::copy(at.filePath(file), copy.filePath(file)))
            return;
    m_mounted = QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=4m,mode=0700", "tmpfs", m_at}) == 0;
    for (const QString &file : files)
        if (m_mounted && !QFile::copy(copy.filePath(file), at.filePath(file)))
            qFatal("cannot copy %s onto the small disk", qPrintable(file));
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {"--lazy", m_at}); // even while a file on it is open
}

QString SmallDisk::path(const QString &name) const
{
    return QDir(m_at).filePath(name);
}

bool SmallDisk::fill(qint64 leave) const
{
    QFile filler(path(QStringLiteral("filler")));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    return filler.resize(qMax<qint64>(0, filler.size() - leave));
}

TestData::TestData()
{
    if (!m_dir.isValid())
        qFatal("cannot make a temporary data folder");
    // Nothing may reach the user's own folder, even by accident.
    qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
    m_folder = QDir(m_dir.path()).filePath(QStringLiteral("Tallymere"));
    if (TestServer::active()) {
        m_database = TestServer::freshDatabase();
        const QString connection = TestServer::options() + QStringLiteral(" dbname=") + m_database;
        m_location = StoreLocation::server(connection);
        QString error;
        if (!DeskStore::useServer(m_folder, connection, &error))
            qFatal("cannot name the test server: %s", qPrintable(error));
    } else {
        m_location = StoreLocation::files(m_folder);
    }
    const StoreError error = Database::install(m_location);
    if (error.isValid())
        qFatal("cannot install the test stores: %s", qPrintable(error.text()));
}

TestData::~TestData()
{
    for (const QString &name : std::as_const(m_connections)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    if (!m_database.isEmpty())
        TestServer::dropDatabase(m_database);
}

QString TestData::folder() const
{
    return m_folder;
}

QString TestData::path(const QString &fileName) const
{
    return QDir(folder()).filePath(fileName);
}

QSqlDatabase TestData::observe(const QString &fileName)
{
    // On the server one database holds both stores.
    const QString name = QStringLiteral("observer-") + (onServer() ? QStringLiteral("server") : fileName);
    if (!QSqlDatabase::contains(name)) {
        if (onServer()) {
            TestServer::addDatabase(m_database, name);
        } else {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path(fileName));
        }
        m_connections << name;
    }
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isOpen() && !db.open())
        qFatal("cannot observe %s", qPrintable(fileName));
    return db;
}

QString TestData::storeName(const QString &fileName) const
{
    return onServer() ? m_location.name(Schema::File::Tallymere) : QDir::toNativeSeparators(path(fileName));
}

bool TestData::holdDeskStore()
{
    QSqlQuery q(observe(DeskFile));
    if (!onServer())
        return q.exec(QStringLiteral("BEGIN EXCLUSIVE"));
    return q.exec(QStringLiteral("BEGIN"))
        && q.exec(QStringLiteral("LOCK TABLE \"tblBorrower\", \"tblUser\" IN ACCESS EXCLUSIVE MODE"));
}

bool TestData::releaseDeskStore()
{
    return QSqlQuery(observe(DeskFile)).exec(QStringLiteral("ROLLBACK"));
}

QString TestData::busySentence() const
{
    return onServer() ? QStringLiteral("The server %1 is busy with another desk").arg(storeName(DeskFile))
                      : QStringLiteral("The store %1 is busy with another program").arg(storeName(DeskFile));
}

void TestData::release(const QString &fileName)
{
    const QString name = QStringLiteral("observer-") + (onServer() ? QStringLiteral("server") : fileName);
    if (QSqlDatabase::contains(name))
        QSqlDatabase::database(name, false).close();
}

QList<QVariantMap> TestData::rows(const QString &fileName, const QString &table)
{
    QList<QVariantMap> result;
    QSqlQuery q(observe(fileName));
    if (!q.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY \"_id\"").arg(table)))
        qFatal("cannot read %s: %s", qPrintable(table), qPrintable(q.lastError().text()));
    while (q.next()) {
        QVariantMap row;
        const QSqlRecord record = q.record();
        for (int i = 0; i < record.count(); ++i)
            if (!Schema::isHidden(record.fieldName(i)))
                row.insert(record.fieldName(i), q.value(i));
        result << row;
    }
    return result;
}

QStringList TestData::column(const QString &fileName, const QString &table, const QString &field)
{
    QStringList values;
    for (const QVariantMap &row : rows(fileName, table))
        values << row.value(field).toString();
    return values;
}

int TestData::count(const QString &fileName, const QString &table)
{
    QSqlQuery q(observe(fileName));
    if (!q.exec(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table)) || !q.next())
        qFatal("cannot count %s: %s", qPrintable(table), qPrintable(q.lastError().text()));
    return q.value(0).toInt();
}

// The tests write SQL as the files take it, names bare; the server folds a
// bare name to lower case, so there the program's names are quoted (outside
// quoted texts and names).
static QString forServer(const QString &sql)
{
    static const QRegularExpression name(QStringLiteral("[A-Za-z_][A-Za-z0-9_]*"));
    QStringList known;
    for (const Schema::Table *t : {&Schema::books(), &Schema::borrower(), &Schema::user()})
        known << t->name << t->fields;
    QString out;
    QChar inside;
    for (qsizetype i = 0; i < sql.size();) {
        const QChar c = sql.at(i);
        if (!inside.isNull()) {
            inside = c == inside ? QChar() : inside;
            out += c;
            ++i;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            inside = c;
            out += c;
            ++i;
        } else if (const auto m = name.match(sql, i, QRegularExpression::NormalMatch,
                                             QRegularExpression::AnchorAtOffsetMatchOption);
                   m.hasMatch()) {
            out += known.contains(m.captured()) ? Schema::quoted(m.captured()) : m.captured();
            i += m.capturedLength();
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

void TestData::exec(const QString &fileName, const QString &sql, const QVariantList &params)
{
    QSqlQuery q(observe(fileName));
    const QString statement = onServer() ? forServer(sql) : sql;
    // The server cannot prepare a statement that defines or drops a table.
    const bool ok = params.isEmpty() ? q.exec(statement) : (q.prepare(statement), [&] {
        for (const QVariant &p : params)
            q.addBindValue(p);
        return q.exec();
    }());
    if (!ok)
        qFatal("cannot run %s: %s", qPrintable(statement), qPrintable(q.lastError().text()));
}

void insertLoan(TestData &data, const QString &accession, const QString &title, const QString &borrower)
{
    data.exec(DeskFile,
              QStringLiteral("INSERT INTO tblBorrower (AccessionNumber, BookNumber, BookTitle, Category, Borrower,"
                             " DateBorrowed, Status, Section) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
              {accession, QStringLiteral("B-") + accession, title, QStringLiteral("FICTION"), borrower,
               QStringLiteral("2026-11-02"), QStringLiteral("Student"), QStringLiteral("2ICT1")});
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

QStringList browsed(TestData &data, const QString &field, const QString &text, BookSearch::Path path)
{
    BrowseSource books(data.location(), QStringLiteral("books"));
    books.setSearch(field, text, path);
    if (!books.open())
        return {books.lastError().text()};
    QStringList forward, backward;
    for (QString shown; books.hasCurrent() && shown != books.value(QStringLiteral("BookNumber")).toString();) {
        shown = books.value(QStringLiteral("BookNumber")).toString();
        forward << shown;
        books.moveNext();
    }
    books.moveLast();
    for (QString shown; books.hasCurrent() && shown != books.value(QStringLiteral("BookNumber")).toString();) {
        shown = books.value(QStringLiteral("BookNumber")).toString();
        backward.prepend(shown);
        books.movePrevious();
    }
    return forward == backward ? forward : forward + QStringList{QStringLiteral("|")} + backward;
}

namespace {

// One field of every row of `table`, in row order, through a connection of
// its own that is closed again.
QStringList fieldOf(const QString &folder, const Schema::Table &table, const QString &field)
{
    Database::Connection store(StoreLocation::files(folder), table.file);
    if (!store.open())
        return {QStringLiteral("cannot open: ") + store.lastError().text()};
    QSqlQuery q(store.database());
    QStringList values;
    if (!q.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(Schema::quoted(field), Schema::quoted(table.name))))
        return {QStringLiteral("cannot read: ") + q.lastError().text()};
    while (q.next())
        values << q.value(0).toString();
    return values;
}

} // namespace

QString pairSeenAtStart(const QString &folder)
{
    if (const StoreError error = Database::install(folder); error.isValid())
        return QStringLiteral("refused: ") + error.text();
    return QStringLiteral("%1 books | loans %2 | passwords %3")
        .arg(fieldOf(folder, Schema::books(), QStringLiteral("BookNumber")).size())
        .arg(fieldOf(folder, Schema::borrower(), QStringLiteral("AccessionNumber")).join(QLatin1Char(',')),
             fieldOf(folder, Schema::user(), QStringLiteral("Password")).join(QLatin1Char(',')));
}

QString copyOfStores(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QString &name : QDir(from).entryList({QStringLiteral("*.db"), QStringLiteral("*.db-wal")}, QDir::Files))
        QFile::copy(QDir(from).filePath(name), QDir(to).filePath(name));
    return to;
}
