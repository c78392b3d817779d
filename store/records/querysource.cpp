#include "store/records/querysource.h"

#include "store/engine/sql.h"
#include "store/engine/storeerror.h"

#include <QSqlQuery>

QuerySource::QuerySource(const StoreLocation &location, const QString &table, QObject *parent)
    : RecordSource(location, table, parent), m_model(new PagedModel(this))
{
    connect(m_model, &PagedModel::readFailed, this, [this](const StoreError &error) {
        // moveLast() says its own failure once, after a reconnect was tried.
        if (m_countingLast)
            return;
        fail(error);
        emit readFailed(lastError());
    });
}

QuerySource::~QuerySource()
{
    close();
}

void QuerySource::setCondition(const QString &where, const QVariantList &params, const QString &through)
{
    m_where = where;
    m_params = params;
    m_through = through;
}

void QuerySource::setCondition(const Dialect::Contains &condition)
{
    setCondition(condition.where, condition.params, condition.through);
}

void QuerySource::setSearch(const QString &field, const QString &text, Dialect::Path path)
{
    setCondition(dialect().contains(field, text, path));
}

bool QuerySource::open()
{
    return openConnection() && refresh();
}

bool QuerySource::refresh()
{
    // Rows that could not be read again are not left on show as if they
    // were: the grid is emptied and the failure said.
    const bool ok = guarded([this] { return readAgain(); });
    m_current = m_model->rowCount() > 0 ? 0 : -1;
    emit currentChanged();
    return ok;
}

bool QuerySource::readAgain()
{
    m_stale = false;
    m_model->setQuery(database(), table(), fields(), m_where, m_params, m_through);
    return m_model->reload() || fail(m_model->lastError());
}

void QuerySource::releaseConnection()
{
    m_model->clear();
    m_stale = true;
}

void QuerySource::close()
{
    m_model->clear();
    m_current = -1;
    closeConnection();
}

void QuerySource::setCurrentRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        row = m_model->rowCount() > 0 ? qBound(0, row, m_model->rowCount() - 1) : -1;
    if (row == m_current)
        return;
    m_current = row;
    emit currentChanged();
}

QVariant QuerySource::value(const QString &field) const
{
    return fromStored(field, m_model->value(m_current, fieldName(field)));
}

bool QuerySource::moveFirst()
{
    setCurrentRow(0);
    return true;
}

bool QuerySource::movePrevious()
{
    if (m_current > 0)
        setCurrentRow(m_current - 1);
    return true;
}

bool QuerySource::moveNext()
{
    bool ok = true;
    if (m_current + 1 >= m_model->rowCount()) {
        // The user asks for the row: a read that failed is tried, and told
        // (by the model's readFailed), again.
        m_model->retryReads();
        m_model->fetchMore();
        ok = !m_model->lastError().isValid();
    }
    if (m_current + 1 < m_model->rowCount())
        setCurrentRow(m_current + 1);
    return ok;
}

bool QuerySource::moveLast()
{
    // A lost connection is made again and the rows read anew on it before
    // the count is tried; a count that cannot be read is said once, after
    // that, and without it the last row is unknown: the cursor stays where
    // it is rather than stopping at the last row read so far.
    m_model->retryReads();
    m_countingLast = true;
    const bool ok = guarded([this] {
        return (!m_stale || readAgain()) && (m_model->fetchAll() || fail(m_model->lastError()));
    });
    m_countingLast = false;
    if (ok) {
        setCurrentRow(m_model->rowCount() - 1);
        return true;
    }
    setCurrentRow(m_current);
    return failStep();
}

bool QuerySource::deleteCurrent()
{
    if (!hasCurrent())
        return true;
    const qint64 rowid = m_model->rowId(m_current);
    if (rowid < 0)
        return fail(m_model->lastError());
    // Deleting a row by its identity twice deletes it once: safe to repeat.
    const bool ok = guarded([&] {
        QSqlQuery q(database());
        if (!q.prepare(Sql::deleteRow(table())))
            return fail(q.lastError());
        q.addBindValue(rowid);
        return q.exec() || fail(q.lastError());
    });
    if (ok)
        announceChange();
    return ok;
}
