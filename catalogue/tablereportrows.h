#pragma once

#include "catalogue/reportrows.h"
#include "store/records/querysource.h"

// The rows of one table for a printed report, read through a query record
// source a few pages at a time; a million-row table costs no more to show
// than a short one.
class TableReportRows : public ReportRows
{
public:
    TableReportRows(const StoreLocation &stores, const QString &table);

    int count() override;
    QVariant value(int row, const QString &field) override;
    QString errorText() const override { return m_error; }

private:
    QuerySource m_source;
    QString m_error;
};
