#include "store/records/history.h"

#include "store/engine/database.h"
#include "store/engine/schema.h"
#include "store/engine/sql.h"
#include "store/engine/storeerror.h"

#include <QJsonDocument>
#include <QTimeZone>
#include <QSqlQuery>
#include <QSqlRecord>

namespace LoanHistory {

namespace {

using Schema::quoted;
namespace H = Schema::History;

const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

QString table()
{
    return quoted(H::Table);
}

QJsonObject object(const QVariant &text)
{
    return text.isNull() ? QJsonObject() : QJsonDocument::fromJson(text.toString().toUtf8()).object();
}

Change changeOf(const QSqlQuery &q)
{
    Change c;
    c.id = q.value(0).toLongLong();
    const QDateTime at = QDateTime::fromString(q.value(1).toString(), TimeFormat);
    c.at = QDateTime(at.date(), at.time(), QTimeZone::utc());
    c.desk = q.value(2).toString();
    c.role = q.value(3).toString();
    c.table = q.value(4).toString();
    c.rowId = q.value(5).isNull() ? -1 : q.value(5).toLongLong();
    c.accession = q.value(6).toString();
    c.kind = q.value(7).toString();
    c.before = object(q.value(8));
    c.after = object(q.value(9));
    return c;
}

QString selectChanges(const Filter &filter, QVariantList *params)
{
    QStringList where;
    if (!filter.accession.isEmpty()) {
        where << QStringLiteral("%1 = ?").arg(quoted(H::Accession));
        *params << filter.accession;
    }
    if (filter.since.isValid()) {
        where << QStringLiteral("%1 >= ?").arg(quoted(H::At));
        *params << storedTime(filter.since);
    }
    if (filter.deletedOnly)
        where << QStringLiteral("%1 = 'deleted' AND %2 = '%3'").arg(quoted(H::Kind), quoted(H::Source),
                                                                     Schema::borrower().name);
    QStringList columns{quoted(Schema::IdColumn)};
    for (const QString &column : H::columns())
        columns << quoted(column);
    return QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4 DESC")
        .arg(columns.join(QStringLiteral(", ")), table(),
             where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND ")),
             quoted(Schema::IdColumn));
}

QString shown(const QJsonValue &value)
{
    if (value.isNull() || value.isUndefined())
        return QStringLiteral("(none)");
    if (value.isString())
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    return value.toVariant().toString();
}

// The loan's fields that `row` holds a value for, in table order.
QString wholeRow(const QJsonObject &row)
{
    QStringList parts;
    for (const QString &field : Schema::borrower().fields)
        if (row.contains(field) && !row.value(field).isNull())
            parts << QStringLiteral("%1 %2").arg(field, shown(row.value(field)));
    return parts.join(QStringLiteral(", "));
}

bool prepared(QSqlQuery &q, const QString &sql, const QVariantList &params)
{
    if (!q.prepare(sql))
        return false;
    for (const QVariant &p : params)
        q.addBindValue(p);
    return q.exec();
}

// The deleted loans `undelete` may mean.
StoreError deletedLoans(const Database::Connection &desk, const QString &accession, qint64 changeId,
                       QList<Change> *found)
{
    Filter filter;
    filter.accession = accession;
    filter.deletedOnly = true;
    QVariantList params;
    QString sql = selectChanges(filter, &params);
    if (changeId > 0) {
        sql.replace(QStringLiteral(" ORDER BY"), QStringLiteral(" AND %1 = ? ORDER BY").arg(quoted(Schema::IdColumn)));
        params << changeId;
    }
    QSqlQuery q(desk.database());
    q.setForwardOnly(true);
    if (!prepared(q, sql, params))
        return desk.explain(q.lastError());
    while (q.next())
        found->append(changeOf(q));
    return {};
}


// Puts the row `row` (a deleted loan's, as the history kept it) back,
// its version moved on, and marks the change that adds it as an undelete.
StoreError putBack(const Database::Connection &desk, const QJsonObject &row, qint64 rowId)
{
    QSqlDatabase db = desk.database();
    QSqlQuery q(db);
    if (!prepared(q, Sql::selectRow(Schema::borrower().name), {rowId}))
        return desk.explain(q.lastError());
    if (q.next())
        return StoreError::failure(QStringLiteral("The loan cannot be brought back: another loan holds its identity %1 now.")
                           .arg(rowId));
    const QStringList columns = QStringList{Schema::IdColumn, Schema::VersionColumn} + Schema::borrower().fields;
    QVariantList values{rowId, row.value(Schema::VersionColumn).toInteger() + 1};
    for (const QString &field : Schema::borrower().fields) {
        const QJsonValue value = row.value(field);
        values << (value.isNull() || value.isUndefined() ? QVariant(QMetaType::fromType<QString>())
                                                         : QVariant(value.toVariant().toString()));
    }
    QSqlQuery insert(db);
    if (!prepared(insert, Sql::insert(Schema::borrower().name, columns), values))
        return desk.explain(insert.lastError());
    QSqlQuery mark(db);
    const QString sql = QStringLiteral("UPDATE %1 SET %2 = 'undeleted' WHERE %3 = (SELECT max(%3) FROM %1 WHERE %4 = ?"
                                       " AND %5 = ? AND %2 = 'added')")
                            .arg(table(), quoted(H::Kind), quoted(Schema::IdColumn), quoted(H::Source),
                                 quoted(H::RowId));
    if (!prepared(mark, sql, {Schema::borrower().name, rowId}))
        return desk.explain(mark.lastError());
    return {};
}

} // namespace

QString storedTime(const QDateTime &when)
{
    return when.toUTC().toString(TimeFormat);
}

StoreError list(const StoreLocation &stores, const Filter &filter, const std::function<bool(const Change &)> &change)
{
    Database::Connection desk(stores, Schema::File::Tallymere);
    if (!desk.open())
        return desk.lastError();
    QVariantList params;
    QSqlQuery q(desk.database());
    q.setForwardOnly(true);
    if (!prepared(q, selectChanges(filter, &params), params))
        return desk.explain(q.lastError());
    while (q.next())
        if (!change(changeOf(q)))
            return {};
    if (q.lastError().isValid())
        return desk.explain(q.lastError());
    return {};
}

QString describe(const Change &change)
{
    if (change.table != Schema::borrower().name)
        return QStringLiteral("account %1").arg(change.kind);
    if (change.kind == QLatin1String("changed")) {
        QStringList parts;
        for (const QString &field : Schema::borrower().fields)
            if (change.before.contains(field) || change.after.contains(field))
                parts << QStringLiteral("%1 %2 -> %3").arg(field, shown(change.before.value(field)),
                                                            shown(change.after.value(field)));
        return QStringLiteral("changed: ") + (parts.isEmpty() ? QStringLiteral("nothing") : parts.join(QStringLiteral("; ")));
    }
    return change.kind + QStringLiteral(": ")
           + wholeRow(change.kind == QLatin1String("deleted") ? change.before : change.after);
}

StoreError undelete(const StoreLocation &stores, const QString &accession, qint64 changeId, Undeleted *done)
{
    Database::Connection desk(stores, Schema::File::Tallymere);
    if (!desk.open())
        return desk.lastError();
    QList<Change> found;
    if (const StoreError e = deletedLoans(desk, accession, changeId, &found); e.isValid())
        return e;
    if (found.isEmpty())
        return StoreError::failure(changeId > 0 ? QStringLiteral("The history holds no deleted loan of accession number %1 "
                                                     "as change %2.").arg(accession).arg(changeId)
                                    : QStringLiteral("The history holds no deleted loan of accession number %1.")
                                          .arg(accession));
    if (found.size() > 1) {
        done->candidates = found;
        return StoreError::failure(QStringLiteral("The history holds %1 deleted loans of accession number %2; "
                                      "name one with --id.").arg(found.size()).arg(accession));
    }
    QSqlDatabase db = desk.database();
    if (!db.transaction())
        return desk.explain(db.lastError());
    if (const StoreError e = putBack(desk, found.first().before, found.first().rowId); e.isValid()) {
        db.rollback();
        return e;
    }
    if (!db.commit())
        return desk.explain(db.lastError());
    done->rowId = found.first().rowId;
    return {};
}

StoreError prune(const StoreLocation &stores, const QDateTime &before, qint64 *removed)
{
    Database::Connection desk(stores, Schema::File::Tallymere);
    if (!desk.open())
        return desk.lastError();
    QSqlQuery q(desk.database());
    if (!prepared(q, QStringLiteral("DELETE FROM %1 WHERE %2 < ?").arg(table(), quoted(H::At)), {storedTime(before)}))
        return desk.explain(q.lastError());
    *removed = q.numRowsAffected();
    return {};
}

} // namespace LoanHistory
