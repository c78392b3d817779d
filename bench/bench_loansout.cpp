// tallymere-admin export-loans --out --days 30 on stores of synthetic loans
// (two in three still out, borrowed over five years), run as a librarian
// runs it (a whole process), beside the sqlite3 shell writing the same rows
// of the same file as CSV with the same statement: the bare query. Figures
// are seconds, the median of three runs; the goal is within 2x of the shell.
#include "bench/benchsupport.h"
#include "store/engine/schema.h"
#include "store/engine/sql.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {

constexpr int Runs = 3;
constexpr double Goal = 2.0;
constexpr int Days = 30;

// The statement the export runs, its two values written in for the shell.
QString bareQuery()
{
    QString sql = Sql::loansOut(Schema::borrower().fields + QStringList{QStringLiteral("DateBorrowed")}, false);
    for (const QString &value : {QStringLiteral("Returned"), QDate::currentDate().addDays(-Days).toString(Qt::ISODate)})
        sql.replace(sql.indexOf(QLatin1Char('?')), 1, QLatin1Char('\'') + value + QLatin1Char('\''));
    return sql;
}

qint64 lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qint64 n = 0;
    while (!file.atEnd())
        n += file.readLine().endsWith('\n');
    return n;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString admin = QStringLiteral(ADMIN_PROGRAM);
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite3.isEmpty())
        std::fprintf(stderr, "no sqlite3 shell found: the figures are printed without their floor\n");
    std::printf("export-loans --out --days %d beside the sqlite3 shell selecting the same rows\n"
                "(seconds, median of %d runs, each a whole process; goal within %.0fx)\n\n",
                Days, Runs, Goal);
    std::printf("%12s %12s %16s %14s %8s\n", "loans", "rows out", "tallymere-admin", "sqlite3 shell", "ratio");
    for (const int count : Bench::sizes({1000, 100000, 1000000})) {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("desk"));
        if (!Bench::timedFill(Bench::fillLoans, folder, count, "loans"))
            return 1;
        const QString store = QDir(folder).filePath(Schema::fileName(Schema::File::Tallymere));
        const QString ours = dir.filePath(QStringLiteral("ours.csv"));
        const QString shell = dir.filePath(QStringLiteral("shell.csv"));
        QList<double> oursTimes, shellTimes;
        for (int run = 0; run < Runs; ++run) {
            const auto wrote = Bench::timedProcess(admin, {QStringLiteral("--data"), folder, QStringLiteral("export-loans"), ours,
                                             QStringLiteral("--out"), QStringLiteral("--days"), QString::number(Days)});
            if (!wrote)
                return 1;
            oursTimes << *wrote;
            if (sqlite3.isEmpty())
                continue;
            const auto bare = Bench::timedProcess(sqlite3, {QStringLiteral("-csv"), QStringLiteral("-header"), store, bareQuery()},
                                                  QString(), shell);
            if (!bare)
                return 1;
            shellTimes << *bare;
        }
        if (!sqlite3.isEmpty() && lines(ours) != lines(shell)) {
            std::fprintf(stderr, "the export wrote %lld lines, the shell %lld\n", lines(ours), lines(shell));
            return 1;
        }
        const double mine = Bench::summarize(oursTimes).median;
        const double floor = shellTimes.isEmpty() ? 0 : Bench::summarize(shellTimes).median;
        std::printf("%12s %12s %16.3f %14s %8s%s\n", qPrintable(Bench::grouped(count)),
                    qPrintable(Bench::grouped(int(lines(ours) - 1))), mine,
                    floor > 0 ? qPrintable(QString::number(floor, 'f', 3)) : "-",
                    qPrintable(Bench::ratio(mine, floor)), floor > 0 && mine / floor > Goal ? "  over the goal" : "");
    }
    return 0;
}
