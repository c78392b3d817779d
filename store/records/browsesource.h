#pragma once

#include "store/records/recordsource.h"
#include "store/search/gramindex.h"

#include <QList>
#include <QVariantList>

// A record source that browses the rows of one table meeting a condition
// one at a time, in row order, for boxes bound to the current row: each
// step to the first, previous, next or last row reads just that row, so
// no step counts or reads the rows in between, however many match.
class BrowseSource : public RecordSource
{
    Q_OBJECT
public:
    BrowseSource(const StoreLocation &location, const QString &table, QObject *parent = nullptr);
    ~BrowseSource() override;

    // `where` is SQL over the table's quoted columns with `?` marks for
    // `params`; empty means every row. Takes effect at the next refresh().
    void setCondition(const QString &where, const QVariantList &params = {});
    void setCondition(const Dialect::Contains &condition);
    // The books whose `field` (a search field) contains `text`, as the
    // engine finds them; takes effect at the next refresh().
    void setSearch(const QString &field, const QString &text, Dialect::Path path = Dialect::Path::Automatic);

    bool open();
    // Runs the condition again; its first row becomes current.
    bool refresh();
    void close();

    bool hasCurrent() const override { return m_key >= 0; }
    QVariant value(const QString &field) const override;

    bool moveFirst() override;
    bool movePrevious() override;
    bool moveNext() override;
    bool moveLast() override;

private:
    enum class Toward { Later, Earlier };
    // The nearest matching row after (or before) `key`; false on a fault.
    // Finding none leaves `*found` false.
    bool step(Toward toward, qint64 key, bool *found);
    bool read(Toward toward, qint64 key, qint64 bound, bool *found);
    bool readNarrowing();
    bool moveTo(Toward toward, qint64 key);

    Dialect::Contains m_condition;
    bool m_narrowed = false;
    QList<GramIndex::Range> m_ranges;
    qint64 m_key = -1;
    QVariantList m_row;
};
