#include "testsupport.h"

#include "app/navigator.h"
#include "app/screens.h"
#include "store/database.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

Dialogs::Answer FakeDialogs::message(const QString &text, const QString &title, Icon icon, Buttons buttons)
{
    boxes.append({text, title.isEmpty() ? applicationTitle() : title, icon, buttons});
    if (!answers.isEmpty())
        return answers.takeFirst();
    return buttons == YesNo ? AnswerNo : AnswerOk;
}

QString FakeDialogs::prompt(const QString &text, const QString &)
{
    prompts.append(text);
    return promptAnswers.isEmpty() ? QString() : promptAnswers.takeFirst();
}

void FakeDialogs::clear()
{
    boxes.clear();
    answers.clear();
    prompts.clear();
    promptAnswers.clear();
    beeps = 0;
}

TestData::TestData()
{
    qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
    const QSqlError error = Database::install();
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
    return Database::dataFolder();
}

QSqlDatabase TestData::observe(const QString &fileName)
{
    const QString name = QStringLiteral("observer-") + fileName;
    if (!QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QDir(folder()).filePath(fileName));
        if (!db.open())
            qFatal("cannot observe %s", qPrintable(fileName));
        m_connections << name;
    }
    return QSqlDatabase::database(name);
}

QList<QVariantList> TestData::rows(const QString &fileName, const QString &table)
{
    QList<QVariantList> result;
    QSqlQuery q(observe(fileName));
    if (!q.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table)))
        qFatal("cannot read %s: %s", qPrintable(table), qPrintable(q.lastError().text()));
    while (q.next()) {
        QVariantList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << q.value(i);
        result << row;
    }
    return result;
}

int TestData::count(const QString &fileName, const QString &table)
{
    QSqlQuery q(observe(fileName));
    q.exec(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table));
    q.next();
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

void prepareTestApplication()
{
    static bool registered = false;
    QApplication::setApplicationName(QStringLiteral("Tallymere"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    if (!registered) {
        registerScreens();
        registered = true;
    }
}

void closeAllScreens()
{
    Navigator::instance().reset();
    QCoreApplication::processEvents();
}

void insertLoan(TestData &data, const QString &accession, const QString &title, const QString &borrower)
{
    data.exec(QStringLiteral("Tallymere.db"),
              QStringLiteral("INSERT INTO tblBorrower (AccessionNumber, BookNumber, BookTitle, Category, Borrower,"
                             " DateBorrowed, Status, Section) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
              {accession, QStringLiteral("B-") + accession, title, QStringLiteral("FICTION"), borrower,
               QStringLiteral("2026-11-02"), QStringLiteral("Student"), QStringLiteral("2ICT1")});
}
