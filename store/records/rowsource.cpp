#include "store/records/rowsource.h"

#include "store/engine/sql.h"
#include "store/engine/storeerror.h"
#include "store/search/criterion.h"
#include "store/search/gramindex.h"

#include <QSqlQuery>

RowSource::~RowSource() = default;

bool RowSource::open()
{
    if (!openConnection())
        return false;
    m_lastModified = -1;
    return toFirst();
}

void RowSource::close()
{
    becomeIdle();
    m_current = -1;
    m_row = QSqlRecord();
    closeConnection();
}

void RowSource::becomeIdle()
{
    m_mode = Idle;
    m_bound.clear();
    m_written.clear();
    m_reservedId = -1;
    m_uncertain = false;
}

bool RowSource::selectRow(QSqlQuery &q, qint64 rowid)
{
    if (!q.prepare(Sql::selectRow(table())))
        return fail(q.lastError());
    q.addBindValue(rowid);
    return q.exec() || fail(q.lastError());
}

bool RowSource::loadRow(qint64 rowid)
{
    QSqlQuery q(database());
    if (!selectRow(q, rowid))
        return false;
    if (q.next()) {
        m_current = rowid;
        m_row = q.record();
    } else if (q.lastError().isValid()) {
        return fail(q.lastError());
    } else {
        m_current = -1;
        m_row = QSqlRecord();
    }
    return true;
}

void RowSource::showCurrent()
{
    emit currentChanged();
}

// Runs `sql` (which selects one rowid) and makes that row current; with no
// row found the current row stays as it is, unless the table is empty.
bool RowSource::moveTo(const QString &sql, const QVariantList &params)
{
    return guarded([&] { return moveToOnce(sql, params); });
}

bool RowSource::moveToOnce(const QString &sql, const QVariantList &params)
{
    QSqlQuery q(database());
    if (!q.prepare(sql))
        return fail(q.lastError());
    for (const QVariant &p : params)
        q.addBindValue(p);
    if (!q.exec())
        return fail(q.lastError());
    becomeIdle();
    const bool found = q.next();
    if (!found && q.lastError().isValid())
        return fail(q.lastError());
    const qint64 target = found ? q.value(0).toLongLong() : m_current;
    q.finish();
    if (target >= 0 && !loadRow(target))
        return false;
    showCurrent();
    return true;
}

bool RowSource::toFirst()
{
    return moveTo(Sql::firstRow(table()), {});
}

bool RowSource::moveFirst()
{
    return toFirst() || failStep();
}

bool RowSource::moveLast()
{
    return moveTo(Sql::lastRow(table()), {}) || failStep();
}

bool RowSource::moveNext()
{
    const bool ok = hasCurrent() ? moveTo(Sql::nextRow(table()), {m_current}) : toFirst();
    return ok || failStep();
}

bool RowSource::movePrevious()
{
    const bool ok = hasCurrent() ? moveTo(Sql::previousRow(table()), {m_current}) : toFirst();
    return ok || failStep();
}

bool RowSource::refresh()
{
    if (!ensureOpen())
        return false;
    m_lastModified = -1;
    m_current = -1;
    return toFirst();
}

bool RowSource::setBookmark(qint64 bookmark)
{
    if (bookmark < 0)
        return true;
    const qint64 before = m_current;
    const bool ok = guarded([&] {
        m_current = before;
        return loadRow(bookmark) && (hasCurrent() || before < 0 || loadRow(before));
    });
    if (!ok)
        return false;
    becomeIdle();
    showCurrent();
    return true;
}

bool RowSource::findFirst(const QString &criterion)
{
    if (!ensureOpen())
        return false;
    const Criterion::Parsed parsed = Criterion::parse(criterion, fields());
    if (!parsed.ok)
        return fail(StoreError::make(StoreError::Kind::Failed, parsed.error));
    return guarded([&] { return findOnce(parsed); });
}

bool RowSource::findOnce(const Criterion::Parsed &parsed)
{
    QSqlQuery q(database());
    if (!q.prepare(Sql::findRow(table(), dialect().likeIgnoringCase(Schema::quoted(parsed.field)))))
        return fail(q.lastError());
    q.addBindValue(parsed.likePattern);
    if (!q.exec())
        return fail(q.lastError());
    becomeIdle();
    if (!q.next()) {
        if (q.lastError().isValid())
            return fail(q.lastError());
        m_noMatch = true;
        return true;
    }
    m_noMatch = false;
    const qint64 rowid = q.value(0).toLongLong();
    q.finish();
    if (!loadRow(rowid))
        return false;
    showCurrent();
    return true;
}

bool RowSource::addNew()
{
    if (!ensureOpen())
        return false;
    if (m_mode == Adding)
        cancelUpdate();
    becomeIdle();
    m_mode = Adding;
    m_beforeAdd = m_current;
    showCurrent();
    return true;
}

bool RowSource::edit()
{
    if (!ensureOpen())
        return false;
    if (m_mode == Idle && hasCurrent())
        m_mode = Editing;
    return true;
}

QVariantMap RowSource::pendingValues() const
{
    QVariantMap values;
    for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it)
        values.insert(fieldName(it.key()), toStored(it.key(), it.value()));
    for (auto it = m_written.cbegin(); it != m_written.cend(); ++it)
        values.insert(fieldName(it.key()), toStored(it.key(), it.value()));
    return values;
}

// The store refuses a text over the limit too; saying which field it is
// lets the librarian shorten the right one.
bool RowSource::checkLengths(const QVariantMap &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (GramIndex::characters(it.value().toString()) > Schema::MaxTextLength)
            return fail(StoreError::make(StoreError::Kind::TooLong,
                                         QStringLiteral("The text for %1 is too long: it may hold at most %2 characters.")
                                             .arg(fieldLabel(it.key()))
                                             .arg(Schema::MaxTextLength)));
    }
    return true;
}

bool RowSource::insertRow(const QVariantMap &values)
{
    // On a server the new row's identity is taken first, so that a save
    // whose answer is lost can be looked for afterwards (see lookForLostSave()).
    StoreError error;
    if (m_reservedId < 0)
        m_reservedId = dialect().reserveId(database(), table(), &error);
    if (error.isValid())
        return fail(error);
    QVariantMap row = values;
    if (m_reservedId >= 0)
        row.insert(Schema::IdColumn, m_reservedId);
    QSqlQuery q(database());
    if (!q.prepare(dialect().insert(table(), row.keys())))
        return fail(q.lastError());
    for (const QVariant &v : row)
        q.addBindValue(v);
    if (!q.exec())
        return fail(q.lastError());
    m_lastModified = dialect().insertedId(q);
    m_current = m_beforeAdd;
    return true;
}

bool RowSource::sameValues(const QSqlRecord &stored, const QVariantMap &values) const
{
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QVariant have = stored.value(it.key());
        if (have.isNull() != it.value().isNull() || have.toString() != it.value().toString())
            return false;
    }
    return true;
}

// A save whose answer never came may have been stored all the same. The
// row is read back, by the identity taken for it or by its own identity
// and version, before anything is written or said: true with `*stored`
// when the save is found, so that it is neither made twice nor reported
// failed. A found save of other values than `values` is taken as the row
// to write them over.
bool RowSource::lookForLostSave(const QVariantMap &values, bool *stored)
{
    *stored = false;
    const qint64 id = m_mode == Adding ? m_reservedId : m_current;
    if (id < 0)
        return true;
    QSqlQuery q(database());
    if (!selectRow(q, id))
        return false;
    if (!q.next())
        return !q.lastError().isValid() || fail(q.lastError());
    const QSqlRecord row = q.record();
    const qint64 version = row.value(Schema::VersionColumn).toLongLong();
    if (m_mode == Adding) {
        *stored = sameValues(row, values);
        if (*stored) {
            m_lastModified = id;
            m_current = m_beforeAdd;
            return true;
        }
        // This desk's own new row, with values typed since: written over.
        m_mode = Editing;
        m_current = id;
        m_row = row;
        return true;
    }
    // Not this desk's write: the update goes ahead and meets any change
    // made elsewhere as every save does.
    if (version != m_uncertainVersion + 1 || !sameValues(row, m_uncertainValues))
        return true;
    m_row = row;
    *stored = sameValues(row, values);
    if (*stored)
        m_lastModified = id;
    return true;
}

bool RowSource::store(const QVariantMap &values)
{
    bool stored = false;
    if (m_uncertain && !lookForLostSave(values, &stored))
        return false;
    if (stored)
        return true;
    m_uncertain = true;
    m_uncertainValues = values;
    m_uncertainVersion = m_row.value(Schema::VersionColumn).toLongLong();
    if (m_mode == Adding ? insertRow(values) : updateRow(values)) {
        m_uncertain = false;
        return true;
    }
    // A lost connection leaves the outcome unknown: the retry settles it.
    if (connectionLost())
        return false;
    // A refused new row may be this desk's own, stored by a connection
    // given up earlier that the server finished later.
    const StoreError refusal = lastError();
    if (m_mode == Adding && m_reservedId >= 0 && refusal.kind() == StoreError::Kind::Refused
        && lookForLostSave(values, &stored) && stored) {
        m_uncertain = false;
        return true;
    }
    m_uncertain = false;
    return fail(refusal);
}

bool RowSource::updateRow(const QVariantMap &values)
{
    if (!values.isEmpty()) {
        QSqlQuery q(database());
        if (!q.prepare(Sql::updateRow(table(), values.keys())))
            return fail(q.lastError());
        for (const QVariant &v : values)
            q.addBindValue(v);
        q.addBindValue(m_current);
        q.addBindValue(m_row.value(Schema::VersionColumn));
        if (!q.exec())
            return fail(q.lastError());
        if (q.numRowsAffected() == 0)
            return refuseChangedElsewhere();
    }
    m_lastModified = m_current;
    return true;
}

// The row was changed or removed by someone else since it was shown: the
// edit is dropped, the row shown as it is stored now, and nothing written.
bool RowSource::refuseChangedElsewhere()
{
    const QString what = table() == Schema::borrower().name ? QStringLiteral("loan")
                         : table() == Schema::user().name   ? QStringLiteral("account")
                                                            : QStringLiteral("row");
    becomeIdle();
    const qint64 row = m_current;
    if (!loadRow(row))
        return false;
    const bool removed = !hasCurrent();
    if (removed && !toFirst())
        return false;
    showCurrent();
    const QString text = removed
        ? QStringLiteral("This %1 was removed at another desk since it was shown; nothing was written.").arg(what)
        : QStringLiteral("This %1 was changed at another desk since it was shown; it is shown again as stored, "
                         "and nothing was written.")
              .arg(what);
    return fail(StoreError::make(StoreError::Kind::Conflict, text));
}

bool RowSource::update()
{
    if (m_mode == Idle)
        return true;
    if (!ensureOpen())
        return false;
    m_bound.clear();
    emit aboutToStore();
    const QVariantMap values = pendingValues();
    if (!checkLengths(values))
        return false;
    if (!guarded([&] { return store(values); }))
        return false;
    becomeIdle();
    announceChange();
    if (hasCurrent() && !loadRow(m_current))
        return false;
    if (!hasCurrent())
        m_row = QSqlRecord();
    showCurrent();
    return true;
}

void RowSource::cancelUpdate()
{
    if (m_mode == Idle)
        return;
    const bool wasAdding = m_mode == Adding;
    becomeIdle();
    if (wasAdding)
        m_current = m_beforeAdd;
    if (hasCurrent() && !loadRow(m_current))
        return;
    showCurrent();
}

QVariant RowSource::value(const QString &field) const
{
    if (m_written.contains(field))
        return m_written.value(field);
    if (m_mode == Adding || !hasCurrent())
        return fromStored(field, QVariant());
    return fromStored(field, m_row.value(fieldName(field)));
}

void RowSource::setValue(const QString &field, const QVariant &value)
{
    if (m_mode == Idle)
        return;
    m_written.insert(field, value);
}

void RowSource::setBoundValue(const QString &field, const QVariant &value)
{
    if (m_mode == Idle)
        return;
    m_bound.insert(field, value);
}
