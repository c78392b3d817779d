#include "store/records/browsesource.h"

#include <QSqlQuery>

#include <algorithm>
#include <limits>

namespace {
constexpr qint64 Before = std::numeric_limits<qint64>::min();
constexpr qint64 After = std::numeric_limits<qint64>::max();
} // namespace

BrowseSource::BrowseSource(const StoreLocation &location, const QString &table, QObject *parent)
    : RecordSource(location, table, parent)
{
}

BrowseSource::~BrowseSource()
{
    close();
}

void BrowseSource::setCondition(const QString &where, const QVariantList &params)
{
    m_condition = Dialect::Contains{where, params, QString(), {}};
}

void BrowseSource::setCondition(const Dialect::Contains &condition)
{
    m_condition = condition;
}

void BrowseSource::setSearch(const QString &field, const QString &text, Dialect::Path path)
{
    setCondition(dialect().contains(field, text, path));
}

bool BrowseSource::open()
{
    return openConnection() && refresh();
}

bool BrowseSource::refresh()
{
    m_key = -1;
    m_row.clear();
    bool found = false;
    const bool ok = guarded([&] { return readNarrowing() && step(Toward::Later, Before, &found); });
    emit currentChanged();
    return ok;
}

void BrowseSource::close()
{
    m_key = -1;
    m_row.clear();
    m_ranges.clear();
    m_narrowed = false;
    closeConnection();
}

QVariant BrowseSource::value(const QString &field) const
{
    if (m_key < 0)
        return {};
    return fromStored(field, m_row.value(int(fields().indexOf(fieldName(field)))));
}

bool BrowseSource::moveFirst()
{
    return moveTo(Toward::Later, Before);
}

bool BrowseSource::movePrevious()
{
    return m_key < 0 || moveTo(Toward::Earlier, m_key);
}

bool BrowseSource::moveNext()
{
    return m_key < 0 || moveTo(Toward::Later, m_key);
}

bool BrowseSource::moveLast()
{
    return moveTo(Toward::Earlier, After);
}

// A step past the first or last row keeps the row shown; a step that
// cannot be read keeps it too, and says why. First or Last finding
// nothing means the rows are gone.
bool BrowseSource::moveTo(Toward toward, qint64 key)
{
    const qint64 before = m_key;
    bool found = false;
    if (!guarded([&] { return step(toward, key, &found); }))
        return failStep();
    if (found) {
        if (m_key != before)
            emit currentChanged();
        return true;
    }
    if ((key == Before || key == After) && before >= 0) {
        m_key = -1;
        m_row.clear();
        emit currentChanged();
    }
    return true;
}

bool BrowseSource::readNarrowing()
{
    m_ranges.clear();
    m_narrowed = !m_condition.narrowing.isEmpty();
    if (!m_narrowed)
        return true;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.prepare(m_condition.narrowing.sql))
        return fail(q.lastError());
    for (const QVariant &p : m_condition.narrowing.params)
        q.addBindValue(p);
    if (!q.exec())
        return fail(q.lastError());
    QList<qint64> blocks;
    while (q.next())
        blocks << q.value(0).toLongLong();
    if (q.lastError().isValid())
        return fail(q.lastError());
    m_ranges = GramIndex::ranges(blocks);
    return true;
}

bool BrowseSource::step(Toward toward, qint64 key, bool *found)
{
    *found = false;
    if (!m_narrowed)
        return read(toward, key, toward == Toward::Later ? After : Before, found);
    // Only the ranges where the index places a match are read, nearest
    // first; most steps end in the first of them.
    if (toward == Toward::Later) {
        auto it = std::upper_bound(m_ranges.cbegin(), m_ranges.cend(), key,
                                   [](qint64 k, const GramIndex::Range &r) { return k < r.last; });
        for (; it != m_ranges.cend(); ++it)
            if (!read(toward, qMax(key, it->first - 1), it->last, found) || *found)
                return *found;
        return true;
    }
    auto it = std::lower_bound(m_ranges.crbegin(), m_ranges.crend(), key,
                               [](const GramIndex::Range &r, qint64 k) { return r.first >= k; });
    for (; it != m_ranges.crend(); ++it)
        if (!read(toward, qMin(key, it->last + 1), it->first, found) || *found)
            return *found;
    return true;
}

// One row: the nearest to `key` (exclusive) toward `bound` (inclusive).
bool BrowseSource::read(Toward toward, qint64 key, qint64 bound, bool *found)
{
    const Dialect &d = dialect();
    const QString id = d.key(table(), m_condition.through);
    QStringList columns{id};
    for (const QString &f : fields())
        columns << Schema::quoted(table()) + QLatin1Char('.') + Schema::quoted(f);
    const bool later = toward == Toward::Later;
    QStringList conditions;
    if (!m_condition.where.isEmpty())
        conditions << QLatin1Char('(') + m_condition.where + QLatin1Char(')');
    conditions << id + (later ? QStringLiteral(" > ?") : QStringLiteral(" < ?"))
               << id + (later ? QStringLiteral(" <= ?") : QStringLiteral(" >= ?"));
    const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %4 %5 LIMIT 1")
                            .arg(columns.join(QLatin1Char(',')), d.from(table(), m_condition.through),
                                 conditions.join(QStringLiteral(" AND ")), id,
                                 later ? QStringLiteral("ASC") : QStringLiteral("DESC"));
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return fail(q.lastError());
    for (const QVariant &p : m_condition.params)
        q.addBindValue(p);
    q.addBindValue(key);
    q.addBindValue(bound);
    if (!q.exec())
        return fail(q.lastError());
    if (q.next()) {
        m_key = q.value(0).toLongLong();
        m_row.clear();
        for (int c = 1; c <= fields().size(); ++c)
            m_row << q.value(c);
        *found = true;
    }
    if (q.lastError().isValid())
        return fail(q.lastError());
    return true;
}
