#include "storesupport.h"

#include "store/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

TestData::TestData()
{
    if (!m_dir.isValid())
        qFatal("cannot make a temporary data folder");
    // Nothing may reach the user's own folder, even by accident.
    qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
    const QString folder = QDir(m_dir.path()).filePath(QStringLiteral("Tallymere"));
    Database::setFolder(folder);
    const QSqlError error = Database::install(folder);
    if (error.isValid())
        qFatal("cannot install the test data folder: %s", qPrintable(error.text()));
}

TestData::~TestData()
{
    for (const QString &name : std::as_const(m_connections)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

QString TestData::folder() const
{
    return Database::folder();
}

QString TestData::path(const QString &fileName) const
{
    return QDir(folder()).filePath(fileName);
}

QSqlDatabase TestData::observe(const QString &fileName)
{
    const QString name = QStringLiteral("observer-") + fileName;
    if (!QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path(fileName));
        m_connections << name;
    }
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isOpen() && !db.open())
        qFatal("cannot observe %s", qPrintable(fileName));
    return db;
}

void TestData::release(const QString &fileName)
{
    const QString name = QStringLiteral("observer-") + fileName;
    if (QSqlDatabase::contains(name))
        QSqlDatabase::database(name, false).close();
}

QList<QVariantMap> TestData::rows(const QString &fileName, const QString &table)
{
    QList<QVariantMap> result;
    QSqlQuery q(observe(fileName));
    if (!q.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table)))
        qFatal("cannot read %s: %s", qPrintable(table), qPrintable(q.lastError().text()));
    while (q.next()) {
        QVariantMap row;
        const QSqlRecord record = q.record();
        for (int i = 0; i < record.count(); ++i)
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

void TestData::exec(const QString &fileName, const QString &sql, const QVariantList &params)
{
    QSqlQuery q(observe(fileName));
    q.prepare(sql);
    for (const QVariant &p : params)
        q.addBindValue(p);
    if (!q.exec())
        qFatal("cannot run %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
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
