#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>
#include <QVariantMap>

#include "store/engine/location.h"
#include "store/search/booksearch.h"

// A fresh, installed data folder for one test case, and the stores the
// program's record sources are given: the folder's files, or a fresh
// database on the test server when the test runs there (see servertest.h).
// The real data folder is never touched.
class TestData
{
public:
    TestData();
    ~TestData();

    StoreLocation location() const { return m_location; }
    bool onServer() const { return m_location.isServer(); }
    QString folder() const;
    QString path(const QString &fileName) const;
    // A separate connection to one store, as an outside observer.
    QSqlDatabase observe(const QString &fileName);
    // Every row of `table` in row order, each by column name (the hidden
    // columns left out).
    QList<QVariantMap> rows(const QString &fileName, const QString &table);
    int count(const QString &fileName, const QString &table);
    // One field of every row of `table`, in row order, as text.
    QStringList column(const QString &fileName, const QString &table, const QString &field);
    void exec(const QString &fileName, const QString &sql, const QVariantList &params = {});
    // How the program's messages name the store of `fileName`.
    QString storeName(const QString &fileName) const;
    // Another program (or desk) takes the loans and accounts store to
    // itself until release is called; the sentence a refused save shows.
    bool holdDeskStore();
    bool releaseDeskStore();
    QString busySentence() const;
    // Closes the observer's connection to `fileName` (reopened on next use).
    void release(const QString &fileName);

private:
    QTemporaryDir m_dir;
    QString m_folder;
    QString m_database; // on the test server
    StoreLocation m_location;
    QStringList m_connections;
};

inline const QString DeskFile = QStringLiteral("Tallymere.db");
inline const QString CatalogueFile = QStringLiteral("Transactions.db");

// A loan with the fields the loan entry writes; the rest stay empty.
void insertLoan(TestData &data, const QString &accession, const QString &title = QStringLiteral("A title"),
                const QString &borrower = QStringLiteral("A. Reader"));

// A small disk (a tmpfs of 4 MiB) mounted for as long as the object lives,
// for a full disk met for real: on a fresh folder, or over `folder` with a
// copy of the files it holds. Mounted only where this process may mount
// (as root); a test skips when it is not.
class SmallDisk
{
public:
    explicit SmallDisk(const QString &folder = QString());
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return m_mounted; }
    QString path(const QString &name) const;
    // Takes every byte still free but `leave`, as other files would.
    bool fill(qint64 leave = 0) const;

private:
    QTemporaryDir m_dir; // the mount point, or the copy of `folder`
    QString m_at;
    bool m_mounted = false;
};

// Deletes the objects whose deletion was deferred (closed screens).
void flushDeletes();

// The book numbers a search browsed one at a time finds, in row order:
// forward from First with Next and backward from Last with Previous,
// joined by "|" when the two differ.
QStringList browsed(TestData &data, const QString &field, const QString &text,
                    BookSearch::Path path = BookSearch::Path::Automatic);

// What the next start of a desk finds in the data folder `folder`, once it
// has finished or undone whatever was cut short: the number of books, the
// loans' accession numbers and the accounts' passwords, on one line (or why
// the start was refused).
QString pairSeenAtStart(const QString &folder);

// A copy of the store files of the data folder `from` in the new data
// folder `to`; returns `to`.
QString copyOfStores(const QString &from, const QString &to);
