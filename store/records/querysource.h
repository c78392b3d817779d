#pragma once

#include "store/records/pagedmodel.h"
#include "store/records/recordsource.h"

// A query record source: the rows of one table that meet a condition (with
// bound parameters), a current row, deletion of the current row, and either
// a grid fed from model() or boxes bound to the current row.
class QuerySource : public RecordSource
{
    Q_OBJECT
public:
    QuerySource(const StoreLocation &location, const QString &table, QObject *parent = nullptr);
    ~QuerySource() override;

    // `where` is SQL over the table's quoted columns with `?` marks for
    // `params`; empty means every row. `through` names an index table that
    // drives the rows (see PagedModel). Takes effect at the next refresh().
    void setCondition(const QString &where, const QVariantList &params = {}, const QString &through = QString());
    void setCondition(const Dialect::Contains &condition);
    // The books whose `field` (a search field) contains `text`, as the
    // engine finds them; takes effect at the next refresh().
    void setSearch(const QString &field, const QString &text, Dialect::Path path = Dialect::Path::Automatic);

    bool open();
    // Runs the query again; its first row becomes current.
    bool refresh();
    void close();

    PagedModel *model() const { return m_model; }

    int currentRow() const { return m_current; }
    bool hasCurrent() const override { return m_current >= 0; }
    void setCurrentRow(int row);
    QVariant value(const QString &field) const override;

    bool moveFirst() override;
    bool movePrevious() override;
    bool moveNext() override;
    bool moveLast() override;

    // Deletes the current row from its table at once. Without a current
    // row it does nothing and succeeds.
    bool deleteCurrent();

protected:
    // The grid's rows came through the old connection: they go with it.
    void releaseConnection() override;

private:
    // The rows from the start, through the connection now open.
    bool readAgain();

    QString m_where;
    QVariantList m_params;
    QString m_through;
    PagedModel *m_model;
    int m_current = -1;
    bool m_stale = false; // the rows went with a lost connection
    bool m_countingLast = false; // inside moveLast(), which tells its own failure
};
