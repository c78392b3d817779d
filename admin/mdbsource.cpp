#include "admin/mdbsource.h"

MdbTableSource::MdbTableSource(const QString &path) : m_path(path)
{
}

bool MdbTableSource::open()
{
    return m_reader.open(m_path);
}

QStringList MdbTableSource::columns(const QString &table)
{
    return m_reader.columns(table);
}

bool MdbTableSource::readRows(const QString &table, const std::function<bool(const QVariantList &)> &row)
{
    return m_reader.readRows(table, row);
}
