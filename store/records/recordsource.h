#pragma once

#include "store/engine/database.h"
#include "store/engine/dialect.h"
#include "store/engine/storeerror.h"

#include <QHash>
#include <QObject>
#include <QSqlError>
#include <QStringList>
#include <QVariant>

#include <functional>

// Announces every stored change to a table, whichever record source made
// it, so that screens showing that table can read it again.
class TableEvents : public QObject
{
    Q_OBJECT
public:
    static TableEvents &instance();
    void announce(const QString &table);

signals:
    // `table` as the program names it (tblBorrower, tblUser, books).
    void changed(const QString &table);
};

// What both kinds of record source share: a connection of its own to the
// store that holds one table with its fields, a caption for its navigation bar,
// the current row's values, and the last failure.
//
// Date fields are given and taken as QDate (null when empty); every other
// field as text.
//
// Every operation that can fail returns whether it succeeded and leaves the
// cause in lastError(), for the caller to report. The steps to the first,
// previous, next or last row tell a failure by readFailed() as well, as a
// read while the grid scrolls does: a navigation bar runs them and looks
// at no result, so the screen hears of it there.
//
// Controls are bound by the binder of the screens, which shows the current
// row on currentChanged() and hands in what the user changed on
// aboutToStore().
class RecordSource : public QObject
{
    Q_OBJECT
public:
    RecordSource(const StoreLocation &location, const QString &table, QObject *parent = nullptr);
    ~RecordSource() override;

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption) { m_caption = caption; }
    QString table() const { return m_table; }
    // How messages name the store the table is in.
    QString storeName() const { return m_connection.name(); }
    // The engine's way of saying what differs between engines.
    const Dialect &dialect() const { return Dialect::of(m_connection.location()); }

    bool isOpen() const;
    StoreError lastError() const { return m_error; }
    QStringList fields() const { return m_fields; }

    virtual bool hasCurrent() const = 0;
    // Whether bound controls have a row to show: the current row, or a new
    // row being added (which counts even in an empty table).
    virtual bool hasRowToShow() const { return hasCurrent(); }
    virtual QVariant value(const QString &field) const = 0;
    // The steps of a navigation bar (see the class comment for a failure).
    virtual bool moveFirst() = 0;
    virtual bool movePrevious() = 0;
    virtual bool moveNext() = 0;
    virtual bool moveLast() = 0;
    // A value the user changed in a bound control; stored by the next
    // store of the row, where the source stores rows at all.
    virtual void setBoundValue(const QString &field, const QVariant &value);
    // How the screen names `field` to the user (the label of its control),
    // so that a message about the field names what the user sees; the
    // field's own name until the screen gives one.
    void setFieldLabel(const QString &field, const QString &label);
    QString fieldLabel(const QString &field) const;

signals:
    void currentChanged();
    // About to store the row: bound controls hand in their changes now.
    void aboutToStore();
    // A step to another row, or a read while scrolling, failed.
    void readFailed(const StoreError &error);

protected:
    // Opens the connection and checks the table and its fields.
    bool openConnection();
    void closeConnection();
    // Open, or opened again after the server went away and came back.
    bool ensureOpen();
    // Runs `operation` (its queries on database()) with every call to a
    // server bounded (see ServerLink::Watch). A connection found broken is
    // opened again once and the operation run again: it must be safe to
    // repeat (a read, or a write that settles an unknown outcome first).
    bool guarded(const std::function<bool()> &operation);
    // Whether the last failure lost the connection: the outcome of a write
    // that was on its way is then unknown.
    bool connectionLost() const { return m_lost; }
    bool fail(const StoreError &error);
    // A step to another row failed: told by readFailed() as well; false.
    bool failStep();
    // The connection is about to be closed and opened anew: whatever still
    // holds it lets it go.
    virtual void releaseConnection() {}
    QSqlDatabase database() const { return m_connection.database(); }
    // `field` spelled as the table spells it (names ignore letter case).
    QString fieldName(const QString &field) const;
    bool isDateField(const QString &field) const;
    // Stored value → given value and back (dates are ISO text in the store).
    QVariant fromStored(const QString &field, const QVariant &stored) const;
    QVariant toStored(const QString &field, const QVariant &value) const;
    void announceChange();

private:
    Database::Connection m_connection;
    QString m_table;
    QString m_caption;
    QStringList m_fields;
    QHash<QString, QString> m_labels; // by field, in lower case
    StoreError m_error;
    bool m_opened = false;
    bool m_lost = false;
};
