// The return desk's "Find Record" by a part of the accession number, on
// synthetic stores of 1,000, 100,000 and 1,000,000 loans: the record
// source's FindFirst on [AccessionNumber]like'*part*' followed by the
// move to LastModified that the screen makes once the prompt is answered,
// beside a bare LIKE scan on the same table in the same run. One part
// matches only the last loan, the other matches nothing; both read the
// whole table.
#include "bench/benchsupport.h"
#include "store/engine/database.h"
#include "store/engine/storeerror.h"
#include "store/records/rowsource.h"
#include "store/search/criterion.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {

constexpr int Runs = 7;
constexpr double Goal = 1.5;
const QString BareConnection = QStringLiteral("bare");
const QString Missing = QStringLiteral("NO-SUCH-BOOK");

struct Last {
    qint64 rowid = -1;
    QString accessionNumber;
};

struct Row {
    int count = 0;
    QString part;
    QString note;
    Bench::Summary find, bare;
};

// Times one find as the screen makes it; -1 when it failed or found the
// wrong loan.
double timeFind(RowSource &source, const QString &part, qint64 expected)
{
    QElapsedTimer clock;
    clock.start();
    if (!source.findFirst(Criterion::build(QStringLiteral("AccessionNumber"), QLatin1Char('*') + part + QLatin1Char('*'))))
        return -1;
    const bool found = !source.noMatch();
    if (found && !source.setBookmark(source.lastModified()))
        return -1;
    const double ms = clock.nsecsElapsed() / 1e6;
    if (found != (expected >= 0) || (found && source.bookmark() != expected))
        return -1;
    return ms;
}

double timeBare(const QSqlDatabase &db, const QString &part, qint64 expected)
{
    QElapsedTimer clock;
    clock.start();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT rowid FROM tblBorrower WHERE AccessionNumber LIKE ? LIMIT 1"));
    q.addBindValue(QLatin1Char('%') + part + QLatin1Char('%'));
    if (!q.exec())
        return -1;
    const qint64 rowid = q.next() ? q.value(0).toLongLong() : -1;
    const double ms = clock.nsecsElapsed() / 1e6;
    if (q.lastError().isValid() || rowid != expected)
        return -1;
    return ms;
}

std::optional<Last> lastLoan(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT rowid, AccessionNumber FROM tblBorrower ORDER BY rowid DESC LIMIT 1"))
        || !q.next())
        return std::nullopt;
    return Last{q.value(0).toLongLong(), q.value(1).toString()};
}

bool measureSize(int count, QList<Row> &rows)
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (const StoreError error = Bench::fillLoans(folder, count); error.isValid()) {
        std::fprintf(stderr, "filling %d loans failed: %s\n", count, qPrintable(error.text()));
        return false;
    }
    const StoreLocation stores = StoreLocation::files(folder);

    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), BareConnection);
        db.setDatabaseName(stores.path(Schema::File::Tallymere));
        RowSource source(stores, QStringLiteral("tblBorrower"));
        const std::optional<Last> last = db.open() ? lastLoan(db) : std::nullopt;
        if (!last || !source.open()) {
            std::fprintf(stderr, "cannot open the store of %d loans\n", count);
            ok = false;
        }
        const QList<std::pair<QString, qint64>> parts{{last ? last->accessionNumber : QString(), last ? last->rowid : -1},
                                                      {Missing, -1}};
        for (const auto &[part, expected] : parts) {
            if (!ok)
                break;
            // The first of each is not counted: it brings the table into
            // the file cache for both.
            QList<double> find{timeFind(source, part, expected)}, bare{timeBare(db, part, expected)};
            for (int i = 0; i < Runs; ++i) {
                find << timeFind(source, part, expected);
                bare << timeBare(db, part, expected);
            }
            if (find.contains(-1) || bare.contains(-1)) {
                std::fprintf(stderr, "the find of \"%s\" in %d loans failed or found the wrong loan: %s\n",
                             qPrintable(part), count, qPrintable(source.lastError().text()));
                ok = false;
                break;
            }
            find.removeFirst();
            bare.removeFirst();
            rows << Row{count, part, expected >= 0 ? QStringLiteral("last loan") : QStringLiteral("no loan"),
                        Bench::summarize(find), Bench::summarize(bare)};
        }
        source.close();
        db.close();
    }
    QSqlDatabase::removeDatabase(BareConnection);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tallymere"));
    QList<Row> rows;
    for (const int count : Bench::sizes({1000, 100000, 1000000}))
        if (!measureSize(count, rows))
            return 1;

    std::printf("Return desk find by a part of the accession number, beside a bare\n"
                "SELECT rowid ... WHERE AccessionNumber LIKE ? LIMIT 1 (median of %d runs in ms, best in brackets;\n"
                "goal within %.1fx)\n\n",
                Runs, Goal);
    std::printf("%12s %-14s %-10s %16s %16s %8s\n", "loans", "part", "matches", "find", "bare LIKE", "ratio");
    for (const Row &r : rows) {
        auto cell = [](const Bench::Summary &s) {
            return QStringLiteral("%1 (%2)").arg(s.median, 0, 'f', 2).arg(s.best, 0, 'f', 2);
        };
        const bool over = r.bare.median > 0 && r.find.median / r.bare.median > Goal;
        std::printf("%12s %-14s %-10s %16s %16s %8s%s\n", qPrintable(Bench::grouped(r.count)), qPrintable(r.part),
                    qPrintable(r.note), qPrintable(cell(r.find)), qPrintable(cell(r.bare)),
                    qPrintable(Bench::ratio(r.find.median, r.bare.median)), over ? "  over the goal" : "");
    }
    return 0;
}
