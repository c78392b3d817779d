#pragma once

#include "store/database.h"
#include "store/pagedmodel.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QLineEdit;

// A query record source: the rows of one table that meet a condition (with
// bound parameters), a current row, deletion of the current row, and either
// a grid fed from model() or input boxes bound to the current row.
class QuerySource : public QObject
{
    Q_OBJECT
public:
    QuerySource(Schema::File file, const QString &table, QObject *parent = nullptr);
    ~QuerySource() override;

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption) { m_caption = caption; }

    // `where` is SQL over the table's quoted columns with `?` marks for
    // `params`; empty means every row. Takes effect at the next refresh().
    void setCondition(const QString &where, const QVariantList &params = {});

    bool open();
    // Runs the query again; its first row becomes current.
    bool refresh();
    void close();
    bool isOpen() const;
    QSqlError lastError() const { return m_error; }

    PagedModel *model() const { return m_model; }
    QStringList fields() const { return m_fields; }

    // Shows `field` of the current row in `box` (read only: never saved).
    void bind(QLineEdit *box, const QString &field);

    int currentRow() const { return m_current; }
    bool hasCurrent() const { return m_current >= 0; }
    void setCurrentRow(int row);
    QVariant value(const QString &field) const;

    void moveFirst();
    void movePrevious();
    void moveNext();
    void moveLast();

    // Deletes the current row from its table at once. Without a current
    // row it does nothing and succeeds.
    bool deleteCurrent();

signals:
    void currentChanged(int row);

private:
    void showCurrent();

    Database::Connection m_connection;
    QString m_table;
    QString m_caption;
    QString m_where;
    QVariantList m_params;
    QStringList m_fields;
    PagedModel *m_model;
    QList<QPair<QPointer<QLineEdit>, QString>> m_bindings;
    QSqlError m_error;
    int m_current = -1;
};
