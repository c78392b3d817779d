#pragma once

#include "store/engine/storeerror.h"

#include <QSqlDatabase>
#include <QSqlError>

#include <functional>

// The short-text index's table (see GramIndex) in the store: filled, and
// kept in step by triggers.
namespace GramTable {

// Fills the index anew from every book, inside the caller's transaction,
// a few blocks at a time (never the whole catalogue in memory). `step` is
// called with the books read so far.
StoreError rebuild(QSqlDatabase &db, const std::function<void(qint64)> &step = {});

// For a bulk write to books, inside the caller's transaction: suspend()
// drops the triggers that keep the index in step (a piece row per
// character of every book written would cost more than the write), and
// resume() makes them again and fills the index anew.
StoreError suspend(QSqlDatabase &db);
StoreError resume(QSqlDatabase &db, const std::function<void(qint64)> &step = {});

} // namespace GramTable
