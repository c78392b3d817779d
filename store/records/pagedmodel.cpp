#include "store/records/pagedmodel.h"

#include "store/engine/dialect.h"
#include "store/engine/schema.h"
#include "store/engine/serverlink.h"
#include "store/engine/sql.h"
#include "store/engine/storeerror.h"
#include "store/records/formats.h"

#include <QSqlQuery>

#include <algorithm>

PagedModel::PagedModel(QObject *parent, int pageSize, int maxPages)
    : QAbstractTableModel(parent), m_pageSize(qMax(1, pageSize)), m_maxPages(qMax(2, maxPages))
{
}

void PagedModel::setPageLimits(int pageSize, int maxPages)
{
    m_pageSize = qMax(1, pageSize);
    m_maxPages = qMax(2, maxPages);
}

void PagedModel::retryReads()
{
    m_failed = false;
    m_error = StoreError();
}

void PagedModel::failRead(const StoreError &error) const
{
    m_error = error;
    if (m_failed)
        return;
    m_failed = true;
    emit const_cast<PagedModel *>(this)->readFailed(error);
}

void PagedModel::setQuery(const QSqlDatabase &db, const QString &table, const QStringList &fields,
                          const QString &where, const QVariantList &params, const QString &through)
{
    beginResetModel();
    m_db = db;
    m_table = table;
    const Dialect &dialect = Dialect::of(db);
    m_from = dialect.from(table, through);
    m_key = dialect.key(table, through);
    m_fields = fields;
    m_where = where;
    m_params = params;
    m_dateColumn.clear();
    for (const QString &f : fields)
        m_dateColumn << Schema::isDateField(table, f);
    m_pages.clear();
    m_recent.clear();
    m_known = 0;
    m_exhausted = true;
    endResetModel();
}

void PagedModel::clear()
{
    beginResetModel();
    m_db = QSqlDatabase(); // lets the connection be closed
    m_pages.clear();
    m_recent.clear();
    m_known = 0;
    m_exhausted = true;
    endResetModel();
}

bool PagedModel::reload()
{
    beginResetModel();
    m_pages.clear();
    m_recent.clear();
    m_known = 0;
    m_exhausted = false;
    m_error = StoreError();
    m_failed = false;
    Page first;
    const bool ok = readPage(0, first);
    if (ok) {
        m_known = int(first.rowids.size());
        m_exhausted = m_known < m_pageSize;
        remember(0, std::move(first));
    } else {
        m_exhausted = true;
    }
    endResetModel();
    return ok;
}

bool PagedModel::fetchAll()
{
    if (m_exhausted)
        return true;
    // Counting reads every page of the table: the first read to meet a
    // damaged one, which is told as any failed read is.
    const ServerLink::Watch watch(m_db);
    QSqlQuery q(m_db);
    const bool prepared = q.prepare(Sql::countFrom(m_from, m_where));
    for (const QVariant &p : m_params)
        q.addBindValue(p);
    if (!prepared || !q.exec() || !q.next()) {
        failRead(q.lastError());
        return false;
    }
    const int total = int(qMin<qint64>(q.value(0).toLongLong(), std::numeric_limits<int>::max()));
    if (total > m_known) {
        beginInsertRows(QModelIndex(), m_known, total - 1);
        m_known = total;
        m_exhausted = true;
        endInsertRows();
    }
    m_exhausted = true;
    return true;
}

// The statement that reads page `number`: after the previous page's last
// rowid when that page is at hand (cheap), otherwise by offset.
PagedModel::PageQuery PagedModel::pageQuery(int number) const
{
    QStringList columns{m_key};
    for (const QString &f : m_fields)
        columns << Schema::quoted(m_table) + QLatin1Char('.') + Schema::quoted(f);
    PageQuery query{QStringLiteral("SELECT %1 FROM %2").arg(columns.join(QLatin1Char(',')), m_from), m_params, false};
    QStringList conditions;
    if (!m_where.isEmpty())
        conditions << QLatin1Char('(') + m_where + QLatin1Char(')');
    const auto previous = m_pages.constFind(number - 1);
    const bool keyset = number > 0 && previous != m_pages.cend() && !previous->rowids.isEmpty();
    if (keyset) {
        conditions << m_key + QStringLiteral(" > ?");
        query.params << previous->rowids.last();
    }
    if (!conditions.isEmpty())
        query.sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    // Once the count is known, a page in the second half is read from the
    // end, so the last rows of a large table cost no more than the first.
    const qint64 start = qint64(number) * m_pageSize;
    const qint64 end = qMin<qint64>(start + m_pageSize, m_known);
    query.fromEnd = !keyset && m_exhausted && start > m_known / 2 && end > start;
    if (query.fromEnd)
        query.sql += QStringLiteral(" ORDER BY %1 DESC LIMIT %2 OFFSET %3").arg(m_key).arg(end - start).arg(m_known - end);
    else
        query.sql += QStringLiteral(" ORDER BY %1 LIMIT %2").arg(m_key).arg(m_pageSize);
    if (!keyset && !query.fromEnd && number > 0)
        query.sql += QStringLiteral(" OFFSET %1").arg(start);
    return query;
}

bool PagedModel::readPage(int number, Page &out) const
{
    const PageQuery page = pageQuery(number);
    // A page read while scrolling is bounded like every call to a server.
    const ServerLink::Watch watch(m_db);
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(page.sql)) {
        m_error = q.lastError();
        return false;
    }
    for (const QVariant &p : page.params)
        q.addBindValue(p);
    if (!q.exec()) {
        m_error = q.lastError();
        return false;
    }
    const int width = int(m_fields.size());
    while (q.next()) {
        out.rowids << q.value(0).toLongLong();
        QVariantList row;
        row.reserve(width);
        for (int c = 0; c < width; ++c)
            row << q.value(c + 1);
        out.rows << row;
    }
    // A damaged page ends the rows early with an error, not quietly.
    if (q.lastError().isValid()) {
        m_error = q.lastError();
        return false;
    }
    if (page.fromEnd) {
        std::reverse(out.rowids.begin(), out.rowids.end());
        std::reverse(out.rows.begin(), out.rows.end());
    }
    return true;
}

void PagedModel::remember(int number, Page page) const
{
    m_pages.insert(number, std::move(page));
    m_recent.removeAll(number);
    m_recent.append(number);
    while (m_recent.size() > m_maxPages)
        m_pages.remove(m_recent.takeFirst());
}

const PagedModel::Page *PagedModel::page(int number) const
{
    auto it = m_pages.constFind(number);
    if (it != m_pages.cend()) {
        if (m_recent.last() != number) {
            m_recent.removeAll(number);
            m_recent.append(number);
        }
        return &it.value();
    }
    if (m_failed)
        return nullptr;
    Page fresh;
    if (!readPage(number, fresh)) {
        failRead(m_error);
        return nullptr;
    }
    remember(number, std::move(fresh));
    return &m_pages.find(number).value();
}

qint64 PagedModel::rowId(int row) const
{
    if (row < 0 || row >= m_known)
        return -1;
    const Page *p = page(row / m_pageSize);
    const int at = row % m_pageSize;
    return p && at < p->rowids.size() ? p->rowids.at(at) : -1;
}

QVariant PagedModel::value(int row, const QString &field) const
{
    const int column = int(m_fields.indexOf(field));
    if (row < 0 || row >= m_known || column < 0)
        return {};
    const Page *p = page(row / m_pageSize);
    const int at = row % m_pageSize;
    return p && at < p->rows.size() ? p->rows.at(at).at(column) : QVariant();
}

int PagedModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_known;
}

int PagedModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_fields.size());
}

QVariant PagedModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const QVariant v = value(index.row(), m_fields.value(index.column()));
    // A date is handed out as a date; the screens show it in the locale.
    if (m_dateColumn.value(index.column())) {
        const QDate date = Formats::fromIso(v);
        return date.isValid() ? QVariant(date) : v;
    }
    return v;
}

QVariant PagedModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_fields.value(section);
    return section + 1;
}

bool PagedModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !m_exhausted && !m_failed;
}

void PagedModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    const int number = m_known / m_pageSize;
    Page next;
    // The rows past a page that cannot be read stay reachable: the next
    // read is tried once retryReads() allows it.
    if (!readPage(number, next)) {
        failRead(m_error);
        return;
    }
    const int n = int(next.rowids.size());
    if (n < m_pageSize)
        m_exhausted = true;
    if (n == 0)
        return;
    beginInsertRows(QModelIndex(), m_known, m_known + n - 1);
    remember(number, std::move(next));
    m_known += n;
    endInsertRows();
}
