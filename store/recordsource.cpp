#include "store/recordsource.h"

#include "store/formats.h"

#include <QDir>

TableEvents &TableEvents::instance()
{
    static TableEvents events;
    return events;
}

void TableEvents::announce(const QString &table)
{
    const Schema::Table *known = Schema::table(table);
    emit changed(known ? known->name : table);
}

RecordSource::RecordSource(const QString &path, const QString &table, QObject *parent)
    : QObject(parent), m_connection(path), m_table(table)
{
}

RecordSource::RecordSource(Schema::File file, const QString &table, QObject *parent)
    : RecordSource(Database::path(file), table, parent)
{
}

RecordSource::~RecordSource() = default;

bool RecordSource::isOpen() const
{
    return m_connection.isOpen();
}

void RecordSource::setBoundValue(const QString &, const QVariant &)
{
}

bool RecordSource::openConnection()
{
    if (!m_connection.open())
        return fail(m_connection.lastError());
    m_fields = Database::columns(m_connection.database(), m_table);
    const QString file = QDir::toNativeSeparators(path());
    QString problem;
    if (m_fields.isEmpty()) {
        problem = QStringLiteral("The store %1 has no table %2.").arg(file, m_table);
    } else if (const Schema::Table *known = Schema::table(m_table)) {
        for (const QString &field : known->fields) {
            if (!m_fields.contains(field)) {
                problem = QStringLiteral("The table %1 in %2 has no field \"%3\".").arg(m_table, file, field);
                break;
            }
        }
    }
    if (!problem.isEmpty()) {
        m_connection.close();
        return fail(QSqlError(QStringLiteral("no such table or field"), problem, QSqlError::StatementError));
    }
    m_error = QSqlError();
    return true;
}

void RecordSource::closeConnection()
{
    m_connection.close();
}

bool RecordSource::ensureOpen()
{
    if (isOpen())
        return true;
    return fail(QSqlError(QString(), QStringLiteral("The table %1 is not open.").arg(m_table),
                          QSqlError::ConnectionError));
}

bool RecordSource::fail(const QSqlError &error)
{
    m_error = Database::explain(path(), error);
    return false;
}

QString RecordSource::fieldName(const QString &field) const
{
    for (const QString &f : m_fields)
        if (f.compare(field, Qt::CaseInsensitive) == 0)
            return f;
    return field;
}

bool RecordSource::isDateField(const QString &field) const
{
    return Schema::isDateField(m_table, fieldName(field));
}

QVariant RecordSource::fromStored(const QString &field, const QVariant &stored) const
{
    if (isDateField(field)) {
        const QDate date = Formats::fromIso(stored);
        return date.isValid() ? QVariant(date) : QVariant(QMetaType(QMetaType::QDate));
    }
    return stored;
}

QVariant RecordSource::toStored(const QString &field, const QVariant &value) const
{
    if (isDateField(field)) {
        const QDate date = value.toDate();
        return date.isValid() ? QVariant(Formats::isoDate(date)) : QVariant(QMetaType(QMetaType::QString));
    }
    if (value.isNull())
        return QVariant(QMetaType(QMetaType::QString));
    return value.toString();
}

void RecordSource::announceChange()
{
    TableEvents::instance().announce(m_table);
}
