#include "store/engine/installsteps.h"

#include "store/engine/execute.h"

#include "store/engine/csv.h"
#include "store/engine/sql.h"
#include "store/engine/sqlitehandle.h"
#include "store/engine/storeerror.h"

#include <QFile>
#include <QSqlQuery>

namespace InstallSteps {

namespace {

using Progress = std::function<void()>;

int reportProgress(void *progress)
{
    (*static_cast<const Progress *>(progress))();
    return 0;
}

StoreError seedTransactions(QSqlDatabase &db)
{
    QFile file(QStringLiteral(":/data/sample-catalogue.csv"));
    if (!file.open(QIODevice::ReadOnly))
        return StoreError::failure(QStringLiteral("The sample catalogue is missing from the program."), file.errorString());
    const QList<QStringList> rows = Csv::parse(QString::fromUtf8(file.readAll()));
    if (rows.isEmpty())
        return {};
    const QStringList header = rows.first();
    for (const QString &name : header)
        if (!Schema::books().fields.contains(name))
            return StoreError::failure(QStringLiteral("The sample catalogue names an unknown field: %1").arg(name));
    QSqlQuery insert(db);
    if (!insert.prepare(Sql::insert(Schema::books().name, header)))
        return insert.lastError();
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r);
        for (qsizetype c = 0; c < header.size(); ++c)
            insert.addBindValue(c < row.size() ? QVariant(row.at(c)) : QVariant());
        if (!insert.exec())
            return insert.lastError();
    }
    return {};
}

StoreError seedTallymere(QSqlDatabase &db)
{
    const Schema::Table &user = Schema::user();
    return Sql::exec(db, Sql::insert(user.name, user.fields),
                {QStringLiteral("Administrator"), QStringLiteral("tallymere"), QStringLiteral("tallymere"),
                 QStringLiteral("the name of this program")});
}

} // namespace

StoreError seed(QSqlDatabase &db, Schema::File file)
{
    return file == Schema::File::Transactions ? seedTransactions(db) : seedTallymere(db);
}

ProgressWatch::ProgressWatch(const QSqlDatabase &db, const Progress &progress)
    : m_db(progress ? sqliteHandle(db) : nullptr)
{
    if (m_db)
        sqlite3_progress_handler(m_db, 20000, reportProgress, const_cast<Progress *>(&progress));
}

ProgressWatch::~ProgressWatch()
{
    if (m_db)
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
}

} // namespace InstallSteps
