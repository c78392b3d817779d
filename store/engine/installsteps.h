#pragma once

#include "store/engine/schema.h"
#include "store/engine/storeerror.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>
#include <QVariantList>

#include <functional>

struct sqlite3;

// The steps every engine's install, upgrade and repair share: the first rows of a new store, the progress of a long
// step. Used inside the engine room only.
namespace InstallSteps {

// The first rows of a new store of `file`: the sample catalogue, the
// administrator's account.
StoreError seed(QSqlDatabase &db, Schema::File file);

// Calls `progress` every few thousand steps of the engine while it lives
// (on the files; a server's connection is left alone).
class ProgressWatch
{
public:
    ProgressWatch(const QSqlDatabase &db, const std::function<void()> &progress);
    ~ProgressWatch();
    ProgressWatch(const ProgressWatch &) = delete;
    ProgressWatch &operator=(const ProgressWatch &) = delete;

private:
    sqlite3 *m_db;
};

} // namespace InstallSteps
