#pragma once

#include "store/database.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSqlError>
#include <QSqlRecord>
#include <QVariantMap>

class QWidget;

// A row-at-a-time record source over one table: a current row, an edit
// state, finds by criterion, and controls bound to the current row's
// fields. Rows are kept in rowid order and read one at a time, so a large
// table costs nothing until a row is shown.
//
// Every operation that can fail returns false and leaves the engine's text
// in lastError(); nothing is half-written and the edit state is kept, so
// the screen can report it and let the user correct the row.
class RowSource : public QObject
{
    Q_OBJECT
public:
    enum EditMode { Idle, Editing, Adding };

    RowSource(Schema::File file, const QString &table, QObject *parent = nullptr);
    ~RowSource() override;

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption) { m_caption = caption; }

    // Binds an input box, an editable drop-down list or a date picker to
    // `field`; the control shows that field of the current row.
    void bind(QWidget *control, const QString &field);

    // Opens the table and makes its first row current.
    bool open();
    void close();
    bool isOpen() const;
    QSqlError lastError() const { return m_error; }
    QStringList fields() const { return m_fields; }

    bool hasCurrent() const { return m_current >= 0; }
    // Opaque token of the current row (its rowid), -1 without one.
    qint64 bookmark() const { return m_current; }
    bool setBookmark(qint64 bookmark);
    // The row last added or changed through this source since it opened or
    // was refreshed; -1 when there is none.
    qint64 lastModified() const { return m_lastModified; }

    bool moveFirst();
    bool movePrevious();
    bool moveNext();
    bool moveLast();
    // Opens the table again, so rows stored elsewhere are seen; first row.
    bool refresh();

    // Makes the first row that meets `criterion` current ([Field]like'pat').
    bool findFirst(const QString &criterion);
    bool noMatch() const { return m_noMatch; }

    EditMode editMode() const { return m_mode; }
    bool addNew();
    bool edit();
    bool update();
    void cancelUpdate();

    // The field of the current row (or of the row being added or edited,
    // as far as the program wrote it); a null value without a row.
    QVariant value(const QString &field) const;
    // Writes `field` of the row in edit; stored by the next update().
    void setValue(const QString &field, const QVariant &value);

signals:
    void currentChanged();

private:
    struct Binding {
        QPointer<QWidget> control;
        QString field;
        QVariant shown;
    };

    bool ensureOpen();
    bool moveTo(const QString &sql, const QVariantList &params);
    bool loadRow(qint64 rowid);
    void showCurrent();
    void fail(const QSqlError &error);
    QString fieldName(const QString &field) const;

    static QVariant controlValue(const QWidget *control, bool dateField);
    static void setControlValue(QWidget *control, const QVariant &value, bool dateField);

    Database::Connection m_connection;
    QString m_table;
    QString m_caption;
    QStringList m_fields;
    QList<Binding> m_bindings;
    QSqlError m_error;
    qint64 m_current = -1;
    qint64 m_beforeAdd = -1;
    qint64 m_lastModified = -1;
    QSqlRecord m_row;
    QVariantMap m_written;
    EditMode m_mode = Idle;
    bool m_noMatch = false;
};
