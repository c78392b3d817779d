#include "store/querysource.h"

#include <QLineEdit>
#include <QSqlQuery>

QuerySource::QuerySource(Schema::File file, const QString &table, QObject *parent)
    : QObject(parent), m_connection(file), m_table(table), m_model(new PagedModel(this))
{
}

QuerySource::~QuerySource()
{
    close();
}

void QuerySource::setCondition(const QString &where, const QVariantList &params)
{
    m_where = where;
    m_params = params;
}

bool QuerySource::open()
{
    if (!m_connection.open()) {
        m_error = m_connection.lastError();
        return false;
    }
    m_fields = Database::columns(m_connection.database(), m_table);
    if (m_fields.isEmpty()) {
        m_error = QSqlError(QStringLiteral("no such table: %1").arg(m_table), QString(),
                            QSqlError::StatementError);
        m_connection.close();
        return false;
    }
    return refresh();
}

bool QuerySource::refresh()
{
    if (!isOpen()) {
        m_error = QSqlError(QStringLiteral("The table %1 is not open.").arg(m_table), QString(),
                            QSqlError::ConnectionError);
        return false;
    }
    m_model->setQuery(m_connection.database(), m_table, m_fields, m_where, m_params);
    const bool ok = m_model->reload();
    if (!ok)
        m_error = m_model->lastError();
    m_current = m_model->rowCount() > 0 ? 0 : -1;
    showCurrent();
    return ok;
}

void QuerySource::close()
{
    m_model->clear();
    m_current = -1;
    m_connection.close();
}

bool QuerySource::isOpen() const
{
    return m_connection.isOpen();
}

void QuerySource::bind(QLineEdit *box, const QString &field)
{
    m_bindings.append({box, field});
    box->setText(value(field).toString());
}

void QuerySource::setCurrentRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        row = m_model->rowCount() > 0 ? qBound(0, row, m_model->rowCount() - 1) : -1;
    if (row == m_current)
        return;
    m_current = row;
    showCurrent();
}

QVariant QuerySource::value(const QString &field) const
{
    return m_model->value(m_current, field);
}

void QuerySource::moveFirst()
{
    setCurrentRow(0);
}

void QuerySource::movePrevious()
{
    if (m_current > 0)
        setCurrentRow(m_current - 1);
}

void QuerySource::moveNext()
{
    if (m_current + 1 >= m_model->rowCount() && m_model->canFetchMore())
        m_model->fetchMore();
    if (m_current + 1 < m_model->rowCount())
        setCurrentRow(m_current + 1);
}

void QuerySource::moveLast()
{
    if (!m_model->fetchAll())
        m_error = m_model->lastError();
    setCurrentRow(m_model->rowCount() - 1);
}

bool QuerySource::deleteCurrent()
{
    if (!hasCurrent())
        return true;
    const qint64 rowid = m_model->rowId(m_current);
    if (rowid < 0) {
        m_error = m_model->lastError();
        return false;
    }
    QSqlQuery q(m_connection.database());
    q.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(Schema::quoted(m_table)));
    q.addBindValue(rowid);
    if (!q.exec()) {
        m_error = q.lastError();
        return false;
    }
    return true;
}

void QuerySource::showCurrent()
{
    for (const auto &b : std::as_const(m_bindings))
        if (b.first)
            b.first->setText(value(b.second).toString());
    emit currentChanged(m_current);
}
