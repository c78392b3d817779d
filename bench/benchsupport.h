#pragma once

#include <QList>
#include <QObject>
#include <QProcessEnvironment>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

// What the benchmarks share: synthetic loan and book stores, the child processes
// that measure in a fresh program, waiting on the event loop, peak memory,
// and the medians and ratios they print.
namespace Bench {

// Installs the stores in `folder` and adds `count` loans to tblBorrower in
// one statement, as the desk makes them: every third one returned, with
// all fifteen fields; the others with the eight fields of a new loan.
// Loan i (from 1) has the accession number "A-" and i in seven digits.
QSqlError fillLoans(const QString &folder, int count);

// Installs the stores in `folder` and puts `count` books in `books` in
// place of the sample ones, in one statement, every field filled, titles and authors composed from word
// lists the way a college catalogue reads ("Introduction to Physics",
// "Santos, Maria"), so that searches find many, few or no books. Book i
// (from 1) is rowid i and has the book number "B-" and i in seven digits.
// The search index is kept in step by the store's own triggers. No title
// or author holds a j, q, x or z: words made of those letters find nothing.
// Every 10,007th book is on ornithology, the only titles with "orn".
QSqlError fillBooks(const QString &folder, int count);
// Runs `fill` (fillLoans or fillBooks) on `folder` with `count` rows and
// gives the seconds it took; on a failure it says so on standard error,
// naming `what` ("loans", "books"), and gives nothing.
std::optional<double> timedFill(QSqlError (*fill)(const QString &, int), const QString &folder, int count,
                                const char *what);
// The number of book i, as fillBooks stores it.
QString bookNumber(qint64 i);

// The process's peak resident memory (VmHWM) in MiB, -1 when unknown.
double peakMemoryMiB();

// Drops the offscreen platform's warnings on every raise() and on a dialog's
// size hints, which say nothing about the program and bury the figures.
void quietenPlatform();

// Gives the process a runtime folder of its own when it has none, as Qt
// asks for one; the folder lasts as long as the returned object.
std::unique_ptr<QTemporaryDir> ensureRuntimeFolder();

// Runs the event loop until `done` holds; false after `limitMs`.
bool waitFor(const std::function<bool()> &done, int limitMs = 30000);

// Counts the paint events of the widgets it is installed on.
class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override;
    int paints = 0;
};

// The environment of a measuring child: its data home, the headless
// platform unless one is chosen, and a runtime folder of its own.
QProcessEnvironment childEnvironment(const QString &dataHome, const QString &runtimeFolder);

// Starts this program again with `arguments` and returns what it printed,
// or nothing when it failed (its error output is passed through).
std::optional<QString> runChild(const QProcessEnvironment &env, const QStringList &arguments);

struct Summary {
    double median = 0;
    double best = 0;
    double worst = 0;
};
Summary summarize(QList<double> values);

// "1.23x", or "-" when the floor is zero.
QString ratio(double value, double floor);
// 1000000 as "1,000,000".
QString grouped(int number);

} // namespace Bench
