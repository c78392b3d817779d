// The loan list on synthetic loan stores of 1,000, 100,000 and 1,000,000
// loans: the time from creating the screen until its first rows are painted,
// the time of the navigation bar's Last button, and the peak memory.
// Run without arguments: for each size it starts itself twice, once to fill
// a temporary data folder and once to measure, so that the figures of one
// size owe nothing to filling the store or to another size.
#include "app/ui/navigator.h"
#include "app/screens.h"
#include "app/ui/widgets.h"
#include "catalogue/loanlistscreen.h"
#include "store/database.h"
#include "app/ui/navigationbar.h"
#include "store/querysource.h"

#include <QApplication>
#include <QStandardPaths>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdio>
#include <functional>

namespace {
// The benchmark's own throw-away folder (XDG_DATA_HOME is set to one).
QString useDataFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    Database::setFolder(folder);
    return folder;
}
} // namespace

namespace {

constexpr int WaitLimitMs = 30000;

double peakMemoryMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

// Loans as the desk makes them: every third one returned, with all fifteen
// fields; the others with the eight fields of a new loan.
int fill(int count)
{
    if (const QSqlError error = Database::install(useDataFolder()); error.isValid()) {
        std::fprintf(stderr, "cannot install: %s\n", qPrintable(error.text()));
        return 1;
    }
    const QStringList categories{QStringLiteral("FICTION"), QStringLiteral("REFERENCE"),
                                 QStringLiteral("SCIENCE(Computer Books & Math)"), QStringLiteral("WORLD HISTORY")};
    const QStringList sections{QStringLiteral("2ICT1"), QStringLiteral("1ECT2"), QStringLiteral("WT")};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(Database::path(Schema::File::Tallymere));
        if (!db.open())
            return 1;
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO tblBorrower (AccessionNumber, BookNumber, BookTitle, Category, Borrower,"
                                 " DateBorrowed, Remarks, DateReturned, Status, Section, Condition, DaysBorrowed,"
                                 " Overduedays, howmanydays, fines) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
        const QDate first(2020, 6, 1);
        for (int i = 0; i < count; ++i) {
            const bool returned = i % 3 == 0;
            const QDate borrowed = first.addDays(i % 1800);
            q.bindValue(0, QStringLiteral("A-%1").arg(i + 1, 7, 10, QLatin1Char('0')));
            q.bindValue(1, QStringLiteral("BN-%1").arg(i % 50000));
            q.bindValue(2, QStringLiteral("Book title number %1").arg(i % 20000));
            q.bindValue(3, categories.at(i % categories.size()));
            q.bindValue(4, QStringLiteral("Borrower %1").arg(i % 7000));
            q.bindValue(5, borrowed.toString(Qt::ISODate));
            q.bindValue(6, returned ? QVariant(QStringLiteral("Returned")) : QVariant());
            q.bindValue(7, returned ? QVariant(borrowed.addDays(9).toString(Qt::ISODate)) : QVariant());
            q.bindValue(8, i % 10 == 0 ? QStringLiteral("Staff") : QStringLiteral("Student"));
            q.bindValue(9, sections.at(i % sections.size()));
            q.bindValue(10, returned ? QVariant(QStringLiteral("OK")) : QVariant());
            q.bindValue(11, returned ? QVariant(QStringLiteral("9")) : QVariant());
            q.bindValue(12, returned ? QVariant(QStringLiteral("No")) : QVariant());
            q.bindValue(13, returned ? QVariant(QStringLiteral("0")) : QVariant());
            q.bindValue(14, returned ? QVariant(QStringLiteral("0")) : QVariant());
            if (!q.exec()) {
                std::fprintf(stderr, "cannot insert: %s\n", qPrintable(q.lastError().text()));
                return 1;
            }
        }
        if (!db.commit())
            return 1;
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return 0;
}

// Counts the paints of one widget.
class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

bool waitFor(const std::function<bool()> &done)
{
    QElapsedTimer limit;
    limit.start();
    while (!done()) {
        if (limit.elapsed() > WaitLimitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

int measure(int argc, char **argv, int count)
{
    QApplication app(argc, argv);
    prepareApplication(app);
    registerScreens();

    // The list is always opened from the main menu, which has already
    // brought up the window system, the style and the fonts; a small window
    // with a grid and a button stands in for it.
    {
        QWidget menu;
        menu.resize(200, 120);
        auto *grid = new QTableView(&menu);
        grid->setGeometry(0, 0, 200, 80);
        auto *panel = new FramedPanel(QStringLiteral("menu"), &menu);
        panel->setGeometry(0, 80, 100, 40);
        new PushButton(QStringLiteral("Main"), panel);
        PaintCounter painted;
        menu.installEventFilter(&painted);
        menu.show();
        if (!waitFor([&] { return painted.paints > 0; }))
            return 1;
    }

    QElapsedTimer clock;
    clock.start();
    auto *list = qobject_cast<LoanListScreen *>(Navigator::instance().open(QStringLiteral("frmList")));
    if (!list)
        return 1;
    PaintCounter gridPaints;
    list->DataGrid1->viewport()->installEventFilter(&gridPaints);
    if (!waitFor([&] { return list->DataGrid1->model()->rowCount() > 0 && gridPaints.paints > 0; })) {
        std::fprintf(stderr, "the first rows were never shown\n");
        return 1;
    }
    const double firstRowsMs = clock.nsecsElapsed() / 1e6;

    auto *last = list->Adodc1Bar->findChild<QToolButton *>(QStringLiteral("last"));
    const int paintsBefore = gridPaints.paints;
    clock.restart();
    last->click();
    if (!waitFor([&] { return gridPaints.paints > paintsBefore; })) {
        std::fprintf(stderr, "the last row was never shown\n");
        return 1;
    }
    const double lastMs = clock.nsecsElapsed() / 1e6;
    const QModelIndex current = list->DataGrid1->currentIndex();
    if (list->Adodc1->currentRow() != count - 1 || current.row() != count - 1
        || !list->DataGrid1->viewport()->rect().intersects(list->DataGrid1->visualRect(current))) {
        std::fprintf(stderr, "the Last button did not show the last loan\n");
        return 1;
    }
    std::printf("%9d loans: first rows %7.1f ms, Last button %7.1f ms, peak memory %6.1f MiB\n", count, firstRowsMs,
                lastMs, peakMemoryMiB());
    std::fflush(stdout);
    Navigator::instance().reset();
    return 0;
}

bool runChild(const QProcessEnvironment &env, const QStringList &arguments, bool forward)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(forward ? QProcess::ForwardedChannels : QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(), arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && qstrcmp(argv[1], "--fill") == 0) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Tallymere"));
        return fill(QByteArray(argv[2]).toInt());
    }
    if (argc > 2 && qstrcmp(argv[1], "--measure") == 0)
        return measure(argc, argv, QByteArray(argv[2]).toInt());

    QCoreApplication app(argc, argv);
    std::printf("Loan list (goal at 1,000,000 loans: first rows within 70 ms, peak under 64 MiB)\n");
    std::fflush(stdout);
    for (const int count : {1000, 100000, 1000000}) {
        QTemporaryDir data;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QString size = QString::number(count);
        if (!runChild(env, {QStringLiteral("--fill"), size}, true)) {
            std::fprintf(stderr, "filling %d loans failed\n", count);
            return 1;
        }
        if (!runChild(env, {QStringLiteral("--measure"), size}, true)) {
            std::fprintf(stderr, "measuring %d loans failed\n", count);
            return 1;
        }
    }
    return 0;
}
