#pragma once

#include "admin/mdbfile.h"
#include "store/transfer/transfer.h"

// The tables of an old Jet database file as a source for the stores.
class MdbTableSource : public Transfer::TableSource
{
public:
    explicit MdbTableSource(const QString &path);

    // False, with errorText(), for a missing file or one that is not a Jet
    // database.
    bool open();

    QString name() const override { return m_path; }
    QStringList columns(const QString &table) override;
    bool readRows(const QString &table, const std::function<bool(const QVariantList &)> &row) override;
    QString errorText() const override { return m_reader.errorText(); }

private:
    QString m_path;
    MdbReader m_reader;
};
