#pragma once

#include "store/engine/location.h"
#include "store/engine/storeerror.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSqlError>
#include <QString>

#include <functional>

// Reading the loan history the store keeps (see Schema::History), bringing
// a deleted loan back from it, and removing its oldest changes.
namespace LoanHistory {

struct Change {
    qint64 id = 0;
    QDateTime at; // UTC
    QString desk;
    QString role;
    QString table;
    qint64 rowId = -1; // -1: not kept (an account)
    QString accession;
    QString kind; // added, changed, deleted, undeleted
    QJsonObject before;
    QJsonObject after;
};

struct Filter {
    QString accession; // empty: every loan and account
    QDateTime since;   // invalid: from the first change
    bool deletedOnly = false;
};

// Calls `change` with each change that `filter` lets through, newest
// first, read as they come, until it returns false.
StoreError list(const StoreLocation &stores, const Filter &filter, const std::function<bool(const Change &)> &change);

// What a change did, in one line: the fields it changed with their values
// before and after, or the row it added or deleted.
QString describe(const Change &change);

// The time stored for `when` (the history keeps UTC).
QString storedTime(const QDateTime &when);

struct Undeleted {
    // The deleted loans of the accession number when more than one matches
    // and no history identity was given; nothing was done then.
    QList<Change> candidates;
    qint64 rowId = -1;
};

// Brings back the loan of `accession` that the history's change
// `changeId` deleted (0: the only deleted one of that accession number),
// with its identity and every field as it was and its version moved on. A
// loan already holding that identity is never replaced. The change this
// makes is kept in the history as "undeleted".
StoreError undelete(const StoreLocation &stores, const QString &accession, qint64 changeId, Undeleted *done);

// Removes the changes made before `before`; `*removed` says how many.
StoreError prune(const StoreLocation &stores, const QDateTime &before, qint64 *removed);

} // namespace LoanHistory
