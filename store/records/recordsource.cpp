#include "store/records/recordsource.h"

#include "store/engine/serverlink.h"
#include "store/engine/storeerror.h"
#include "store/records/formats.h"


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

namespace {

Schema::File fileOf(const QString &table)
{
    const Schema::Table *known = Schema::table(table);
    return known ? known->file : Schema::File::Tallymere;
}

// Names ignore letter case, as the files' engine has it; the server keeps
// the program's own spelling.
QString spelled(const QString &table)
{
    const Schema::Table *known = Schema::table(table);
    return known ? known->name : table;
}

} // namespace

RecordSource::RecordSource(const StoreLocation &location, const QString &table, QObject *parent)
    : QObject(parent), m_connection(location, fileOf(table)), m_table(spelled(table))
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

void RecordSource::setFieldLabel(const QString &field, const QString &label)
{
    if (!label.isEmpty())
        m_labels.insert(field.toLower(), label);
}

QString RecordSource::fieldLabel(const QString &field) const
{
    return m_labels.value(field.toLower(), fieldName(field));
}

bool RecordSource::openConnection()
{
    if (!m_connection.open())
        return fail(m_connection.lastError());
    {
        const ServerLink::Watch watch(m_connection.database());
        m_fields = Database::columns(m_connection.database(), m_table);
        if (watch.fired())
            return fail(m_connection.timedOut(StoreError()));
    }
    const QString file = storeName();
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
        return fail(StoreError::make(StoreError::Kind::Missing, problem, QStringLiteral("no such table or field")));
    }
    m_error = StoreError();
    m_opened = true;
    return true;
}

void RecordSource::closeConnection()
{
    m_opened = false;
    m_connection.close();
}

bool RecordSource::ensureOpen()
{
    // A connection the server dropped is made again here, before any
    // query of the next operation, so the screen works once it is back.
    if (m_lost && m_opened) {
        m_lost = false;
        releaseConnection();
        m_connection.close();
        return openConnection();
    }
    if (isOpen())
        return true;
    if (m_opened)
        return openConnection();
    return fail(StoreError::make(StoreError::Kind::Failed, QStringLiteral("The table %1 is not open.").arg(m_table)));
}

bool RecordSource::guarded(const std::function<bool()> &operation)
{
    for (int attempt = 0;; ++attempt) {
        if (!ensureOpen())
            return false;
        bool ok = false, fired = false;
        {
            const ServerLink::Watch watch(database());
            ok = operation();
            fired = watch.fired();
        }
        if (ok)
            return true;
        if (fired) {
            // The server did not answer at all: trying again now would only
            // keep the desk waiting as long once more.
            fail(m_connection.timedOut(m_error));
            return false;
        }
        if (attempt > 0 || !m_lost)
            return false;
    }
}

bool RecordSource::fail(const StoreError &error)
{
    m_error = m_connection.explain(error);
    if (m_error.kind() == StoreError::Kind::Unreachable)
        m_lost = true;
    return false;
}

bool RecordSource::failStep()
{
    emit readFailed(m_error);
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
