#pragma once

#include "store/records/recordsource.h"
#include "store/search/criterion.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariantMap>

// A row-at-a-time record source over one table: a current row, an edit
// state, finds by criterion. Rows are kept in identity order and read one
// at a time, so a large table costs nothing until a row is shown.
//
// Every operation that can fail returns false and leaves the engine's text
// in lastError(); nothing is half-written and the edit state is kept, so
// the screen can report it and let the user correct the row.
class RowSource : public RecordSource
{
    Q_OBJECT
public:
    enum EditMode { Idle, Editing, Adding };

    using RecordSource::RecordSource;
    ~RowSource() override;

    // Opens the table and makes its first row current.
    bool open();
    void close();

    bool hasCurrent() const override { return m_current >= 0; }
    bool hasRowToShow() const override { return hasCurrent() || m_mode == Adding; }
    // Opaque token of the current row (its identity), -1 without one.
    qint64 bookmark() const { return m_current; }
    bool setBookmark(qint64 bookmark);
    // The row last added or changed through this source since it opened or
    // was refreshed; -1 when there is none.
    qint64 lastModified() const { return m_lastModified; }

    bool moveFirst() override;
    bool movePrevious() override;
    bool moveNext() override;
    bool moveLast() override;
    // Opens the table again, so rows stored elsewhere are seen; first row.
    bool refresh();

    // Makes the first row that meets `criterion` current ([Field]like'pat').
    bool findFirst(const QString &criterion);
    bool noMatch() const { return m_noMatch; }

    EditMode editMode() const { return m_mode; }
    bool addNew();
    bool edit();
    // Stores the row being added or edited: the bound values the user
    // changed, then every value written with setValue().
    bool update();
    void cancelUpdate();

    // The field of the current row (or of the row being added or edited,
    // as far as the program wrote it); a null value without a row.
    QVariant value(const QString &field) const override;
    // Writes `field` of the row in edit; stored by the next update().
    void setValue(const QString &field, const QVariant &value);
    void setBoundValue(const QString &field, const QVariant &value) override;

private:
    // The first row, as open() and refresh() take it: a failure is theirs
    // to tell, not a step's.
    bool toFirst();
    bool moveTo(const QString &sql, const QVariantList &params);
    bool moveToOnce(const QString &sql, const QVariantList &params);
    bool findOnce(const Criterion::Parsed &parsed);
    // Runs the query for row `rowid` in `q`, not yet moved onto it.
    bool selectRow(QSqlQuery &q, qint64 rowid);
    bool loadRow(qint64 rowid);
    void becomeIdle();
    void showCurrent();
    // What update() writes: changed bound values, then explicit ones.
    QVariantMap pendingValues() const;
    bool checkLengths(const QVariantMap &values);
    bool insertRow(const QVariantMap &values);
    bool updateRow(const QVariantMap &values);
    bool refuseChangedElsewhere();
    // The write of the row in edit, after settling one whose outcome was
    // left unknown.
    bool store(const QVariantMap &values);
    bool lookForLostSave(const QVariantMap &values, bool *stored);
    bool sameValues(const QSqlRecord &stored, const QVariantMap &values) const;

    qint64 m_current = -1;
    qint64 m_beforeAdd = -1;
    qint64 m_lastModified = -1;
    QSqlRecord m_row;
    QVariantMap m_bound;
    QVariantMap m_written;
    EditMode m_mode = Idle;
    bool m_noMatch = false;
    // The identity taken for the row being added (server only), and the
    // write whose outcome is not known yet.
    qint64 m_reservedId = -1;
    bool m_uncertain = false;
    QVariantMap m_uncertainValues;
    qint64 m_uncertainVersion = -1;
};
