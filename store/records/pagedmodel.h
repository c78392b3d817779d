#pragma once

#include "store/engine/storeerror.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>
#include <QVariantList>

// A read-only table model over one table (optionally filtered) that reads
// its rows a page at a time, as the view asks for them, and keeps only a
// bounded number of pages in memory. The row count grows as the view
// scrolls; fetchAll() learns the full count without reading the rows.
class PagedModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int DefaultPageSize = 256;
    static constexpr int DefaultMaxPages = 64;

    explicit PagedModel(QObject *parent = nullptr, int pageSize = DefaultPageSize,
                        int maxPages = DefaultMaxPages);

    // Sizes that matter only at scale; tests make them small.
    void setPageLimits(int pageSize, int maxPages);
    int pageSize() const { return m_pageSize; }
    int maxPages() const { return m_maxPages; }
    // How many pages are held in memory now.
    int pagesHeld() const { return int(m_pages.size()); }

    // Sets what to read; nothing is read until reload(). With `through`,
    // the rows are driven by that index table, joined to `table` on its identity
    // (a full-text index finds its rows faster than `table` could).
    void setQuery(const QSqlDatabase &db, const QString &table, const QStringList &fields,
                  const QString &where, const QVariantList &params, const QString &through = QString());
    // Forgets every row and reads the first page again.
    bool reload();
    // Counts every row (without reading them), so the last one can be shown.
    // A failure is told by readFailed(), as a failed page is.
    bool fetchAll();
    // Forgets the rows and the connection.
    void clear();

    StoreError lastError() const { return m_error; }
    // Forgets a failed read, so that the next read tries again.
    void retryReads();
    QStringList fields() const { return m_fields; }
    qint64 rowId(int row) const;
    QVariant value(int row, const QString &field) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent = QModelIndex()) const override;
    void fetchMore(const QModelIndex &parent = QModelIndex()) override;

signals:
    // A page or the count could not be read. Sent once, for the first
    // failure; the model then reads no page it does not hold until reload()
    // or retryReads(), rather than showing a shorter list as if it were
    // complete.
    void readFailed(const StoreError &error);

private:
    struct Page {
        QList<qint64> rowids;
        QList<QVariantList> rows;
    };

    const Page *page(int number) const;
    // A page's statement, its values, and whether it reads the rows from
    // the end (to be turned round).
    struct PageQuery {
        QString sql;
        QVariantList params;
        bool fromEnd;
    };
    PageQuery pageQuery(int number) const;
    bool readPage(int number, Page &out) const;
    void remember(int number, Page page) const;
    void failRead(const StoreError &error) const;

    int m_pageSize;
    int m_maxPages;
    QSqlDatabase m_db;
    QString m_table;
    QString m_from; // the FROM clause
    QString m_key;  // the row id the pages are ordered by
    QStringList m_fields;
    QString m_where;
    QVariantList m_params;
    int m_known = 0;
    bool m_exhausted = true;
    QList<bool> m_dateColumn;
    mutable QHash<int, Page> m_pages;
    mutable QList<int> m_recent; // page numbers, most recent last
    mutable StoreError m_error;
    mutable bool m_failed = false;
};
