#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>
#include <QVariantMap>

// A fresh, installed data folder for one test case; the program's record
// sources use it, and the real one is never touched.
class TestData
{
public:
    TestData();
    ~TestData();

    QString folder() const;
    QString path(const QString &fileName) const;
    // A separate connection to one store, as an outside observer.
    QSqlDatabase observe(const QString &fileName);
    // Every row of `table` in row order, each by column name.
    QList<QVariantMap> rows(const QString &fileName, const QString &table);
    int count(const QString &fileName, const QString &table);
    // One field of every row of `table`, in row order, as text.
    QStringList column(const QString &fileName, const QString &table, const QString &field);
    void exec(const QString &fileName, const QString &sql, const QVariantList &params = {});
    // Closes the observer's connection to `fileName` (reopened on next use).
    void release(const QString &fileName);

private:
    QTemporaryDir m_dir;
    QStringList m_connections;
};

inline const QString DeskFile = QStringLiteral("Tallymere.db");
inline const QString CatalogueFile = QStringLiteral("Transactions.db");

// A loan with the fields the loan entry writes; the rest stay empty.
void insertLoan(TestData &data, const QString &accession, const QString &title = QStringLiteral("A title"),
                const QString &borrower = QStringLiteral("A. Reader"));

// Deletes the objects whose deletion was deferred (closed screens).
void flushDeletes();
