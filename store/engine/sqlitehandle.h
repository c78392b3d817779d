#pragma once

#include <QSqlDatabase>
#include <QSqlDriver>

#include <sqlite3.h>

// The engine's own handle behind a Qt connection, for the few things Qt
// does not offer (SQL functions, progress); nullptr when there is none.
inline sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    return h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0 ? *static_cast<sqlite3 *const *>(h.data()) : nullptr;
}
