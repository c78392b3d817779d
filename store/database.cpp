#include "store/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTextStream>

namespace Database {

namespace {

constexpr auto BusyTimeoutMs = 2000;

QString nextConnectionName()
{
    static quint64 counter = 0;
    return QStringLiteral("tallymere-%1").arg(++counter);
}

// Splits one CSV text (RFC 4180: quoted fields, doubled quotes) into rows.
QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            fieldStarted = true;
        } else if (c == QLatin1Char(',')) {
            row << field;
            field.clear();
            fieldStarted = true;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            if (fieldStarted || !row.isEmpty() || !field.isEmpty()) {
                row << field;
                rows << row;
            }
            row.clear();
            field.clear();
            fieldStarted = false;
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (fieldStarted || !row.isEmpty() || !field.isEmpty()) {
        row << field;
        rows << row;
    }
    return rows;
}

QSqlError exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        return q.lastError();
    return {};
}

QSqlError seedTransactions(QSqlDatabase &db)
{
    QFile csv(QStringLiteral(":/data/sample-catalogue.csv"));
    if (!csv.open(QIODevice::ReadOnly | QIODevice::Text))
        return QSqlError(QStringLiteral("The sample catalogue is missing from the program."),
                         csv.errorString(), QSqlError::UnknownError);
    const QList<QStringList> rows = parseCsv(QString::fromUtf8(csv.readAll()));
    if (rows.isEmpty())
        return {};
    const QStringList header = rows.first();
    const Schema::Table &books = Schema::books();
    QStringList columns, marks;
    for (const QString &name : header) {
        if (!books.fields.contains(name))
            return QSqlError(QStringLiteral("The sample catalogue names an unknown field: %1").arg(name),
                             QString(), QSqlError::UnknownError);
        columns << Schema::quoted(name);
        marks << QStringLiteral("?");
    }
    QSqlQuery insert(db);
    if (!insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(Schema::quoted(books.name), columns.join(QLatin1Char(',')),
                                 marks.join(QLatin1Char(',')))))
        return insert.lastError();
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r);
        for (qsizetype c = 0; c < header.size(); ++c)
            insert.addBindValue(c < row.size() ? QVariant(row.at(c)) : QVariant());
        if (!insert.exec())
            return insert.lastError();
    }
    return {};
}

QSqlError seedTallymere(QSqlDatabase &db)
{
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO \"tblUser\" (\"Username\", \"Password\", \"Confirm\", \"Hint\") "
                                  "VALUES (?, ?, ?, ?)"));
    insert.addBindValue(QStringLiteral("Administrator"));
    insert.addBindValue(QStringLiteral("tallymere"));
    insert.addBindValue(QStringLiteral("tallymere"));
    insert.addBindValue(QStringLiteral("the name of this program"));
    if (!insert.exec())
        return insert.lastError();
    return {};
}

// Builds one new database file beside its final place and moves it there
// only when complete, so a failed installation never leaves half a file.
QSqlError installFile(Schema::File file)
{
    const QString finalPath = path(file);
    const QString tempPath = finalPath + QStringLiteral(".new");
    QFile::remove(tempPath);
    {
        QFile f(tempPath);
        if (!f.open(QIODevice::WriteOnly))
            return QSqlError(QStringLiteral("Cannot create %1").arg(tempPath), f.errorString(),
                             QSqlError::ConnectionError);
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    QSqlError error;
    const QString name = nextConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(tempPath);
        if (!db.open()) {
            error = db.lastError();
        } else {
            const QList<const Schema::Table *> tables =
                file == Schema::File::Transactions
                    ? QList<const Schema::Table *>{&Schema::books()}
                    : QList<const Schema::Table *>{&Schema::borrower(), &Schema::user()};
            db.transaction();
            for (const Schema::Table *t : tables) {
                if (!error.isValid())
                    error = exec(db, Schema::createStatement(*t));
            }
            if (!error.isValid())
                error = file == Schema::File::Transactions ? seedTransactions(db) : seedTallymere(db);
            if (error.isValid())
                db.rollback();
            else if (!db.commit())
                error = db.lastError();
            if (!error.isValid())
                error = exec(db, QStringLiteral("PRAGMA journal_mode=WAL"));
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!error.isValid() && !QFile::rename(tempPath, finalPath))
        error = QSqlError(QStringLiteral("Cannot move %1 into place").arg(tempPath), QString(),
                          QSqlError::ConnectionError);
    if (error.isValid()) {
        QFile::remove(tempPath);
        QFile::remove(tempPath + QStringLiteral("-wal"));
        QFile::remove(tempPath + QStringLiteral("-shm"));
    }
    return error;
}

} // namespace

QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString fileName(Schema::File file)
{
    return file == Schema::File::Transactions ? QStringLiteral("Transactions.db")
                                              : QStringLiteral("Tallymere.db");
}

QString path(Schema::File file)
{
    return QDir(dataFolder()).filePath(fileName(file));
}

QSqlError install()
{
    const QString folder = dataFolder();
    if (!QDir().mkpath(folder))
        return QSqlError(QStringLiteral("Cannot create the data folder %1").arg(folder), QString(),
                         QSqlError::ConnectionError);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        if (QFileInfo::exists(path(file)))
            continue;
        const QSqlError error = installFile(file);
        if (error.isValid())
            return error;
    }
    return {};
}

Connection::Connection(Schema::File file)
    : m_file(file), m_name(nextConnectionName())
{
}

Connection::~Connection()
{
    close();
}

bool Connection::open()
{
    if (isOpen())
        return true;
    const QString file = path(m_file);
    // SQLite would quietly create a missing file; a missing store is an error.
    if (!QFileInfo::exists(file)) {
        m_error = QSqlError(QStringLiteral("The database file %1 is missing.").arg(file),
                            QStringLiteral("unable to open database file"),
                            QSqlError::ConnectionError);
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!db.open()) {
        m_error = db.lastError();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        return false;
    }
    m_error = QSqlError();
    return true;
}

void Connection::close()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

QStringList columns(const QSqlDatabase &db, const QString &table)
{
    QStringList names;
    const QSqlRecord record = db.record(table);
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i);
    return names;
}

} // namespace Database
