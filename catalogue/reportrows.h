#pragma once

#include <QString>
#include <QVariant>

// The rows a printed report reads, one report page per row, so that the
// report layout and its preview know nothing of SQL. A report reads its table
// afresh at each showing: the preview calls count() once when it opens and
// value() only for the pages it shows, prints or saves.
class ReportRows
{
public:
    virtual ~ReportRows() = default;

    // The number of rows; -1 when they cannot be read.
    virtual int count() = 0;
    // The value of `field` in row `row` (0-based), with the field named
    // exactly as the table names it; a null QVariant for a NULL value and
    // on a read failure.
    virtual QVariant value(int row, const QString &field) = 0;
    // The engine's text of the last failure. It must be empty when the most
    // recent count() or value() succeeded: a null value with a non-empty
    // text is how the report tells a failure from a NULL field.
    virtual QString errorText() const = 0;
};
