#include "catalogue/tablereportrows.h"

#include "store/engine/storeerror.h"

namespace {
// One report page shows one row; a preview moves a page at a time.
constexpr int RowsPerRead = 32;
constexpr int ReadsKept = 8;
} // namespace

TableReportRows::TableReportRows(const StoreLocation &stores, const QString &table)
    : m_source(stores, table)
{
    m_source.model()->setPageLimits(RowsPerRead, ReadsKept);
}

int TableReportRows::count()
{
    m_error.clear();
    if (!m_source.isOpen() && !m_source.open()) {
        m_error = m_source.lastError().text();
        return -1;
    }
    PagedModel *model = m_source.model();
    if (!model->fetchAll()) {
        m_error = model->lastError().text();
        return -1;
    }
    return model->rowCount();
}

QVariant TableReportRows::value(int row, const QString &field)
{
    PagedModel *model = m_source.model();
    model->retryReads();
    const QVariant v = model->value(row, field);
    m_error = model->lastError().text();
    return v;
}
