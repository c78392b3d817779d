// Time from process start to the first painted frame of the start-up
// screen, on an installed data folder, beside a bare Qt program that shows
// an empty window of the same size; and the peak memory of each.
// Run without arguments: it starts itself as a child, in turns as the
// program and as the bare one, so that both see the same machine.
#include "app/screennames.h"
#include "app/screens.h"
#include "bench/benchdialogs.h"
#include "bench/benchsupport.h"
#include "store/engine/database.h"
#include "ui/navigator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdio>
#include <optional>

namespace {

constexpr int Runs = 15;
const char *const ScreenMode = "--screen";
const char *const BareMode = "--bare";

// Reports the first paint of the watched window with the peak memory and
// the window's size, once the paint is over, and ends the process.
class FirstPaint : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() && !m_seen) {
            m_seen = true;
            const QSize size = static_cast<QWidget *>(watched)->size();
            QMetaObject::invokeMethod(
                qApp,
                [size] {
                    std::printf("painted %.3f %d %d\n", Bench::peakMemoryMiB(), size.width(), size.height());
                    std::fflush(stdout);
                    std::_Exit(0);
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool m_seen = false;
};

// As the program starts: installation of the data folder, then the
// start-up screen and nothing else.
int screenChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    prepareApplication(app);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const StoreLocation stores = StoreLocation::files(folder);
    if (Database::install(folder).isValid())
        return 1;
    Bench::LoudDialogs dialogs;
    registerScreens(stores, dialogs);
    QWidget *splash = Navigator::instance().create(ScreenNames::Splash);
    FirstPaint watcher;
    splash->installEventFilter(&watcher);
    splash->show();
    return app.exec();
}

// The floor: what any Qt program pays to put a window of that size up.
int bareChild(int argc, char **argv, const QSize &size)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(size);
    FirstPaint watcher;
    window.installEventFilter(&watcher);
    window.show();
    return app.exec();
}

struct Run {
    double ms = 0;
    double peakMiB = 0;
    QSize size;
};

// The clock stops when the child reports its first paint, not when it ends.
std::optional<Run> runOnce(const QProcessEnvironment &env, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start(QCoreApplication::applicationFilePath(), arguments);
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(30000)) {
            process.kill();
            process.waitForFinished();
            return std::nullopt;
        }
    }
    Run run;
    run.ms = clock.nsecsElapsed() / 1e6;
    const QStringList words = QString::fromLatin1(process.readLine()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    process.waitForFinished(30000);
    if (words.size() != 4 || words.at(0) != QLatin1String("painted"))
        return std::nullopt;
    run.peakMiB = words.at(1).toDouble();
    run.size = QSize(words.at(2).toInt(), words.at(3).toInt());
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], ScreenMode) == 0)
        return screenChild(argc, argv);
    if (argc > 3 && qstrcmp(argv[1], BareMode) == 0)
        return bareChild(argc, argv, QSize(QByteArray(argv[2]).toInt(), QByteArray(argv[3]).toInt()));

    QCoreApplication app(argc, argv);
    QTemporaryDir data;
    QTemporaryDir runtime;
    const QProcessEnvironment env = Bench::childEnvironment(data.path(), runtime.path());

    // The first run installs the data folder and tells the window's size;
    // the first bare run brings the same libraries into the file cache.
    // Neither is counted.
    const std::optional<Run> first = runOnce(env, {QString::fromLatin1(ScreenMode)});
    if (!first) {
        std::fprintf(stderr, "the start-up screen was never painted\n");
        return 1;
    }
    const QStringList bare{QString::fromLatin1(BareMode), QString::number(first->size.width()),
                           QString::number(first->size.height())};
    if (!runOnce(env, bare)) {
        std::fprintf(stderr, "the bare window was never painted\n");
        return 1;
    }

    QList<double> screenMs, bareMs, screenPeak, barePeak;
    for (int i = 0; i < Runs; ++i) {
        const std::optional<Run> screen = runOnce(env, {QString::fromLatin1(ScreenMode)});
        const std::optional<Run> floor = runOnce(env, bare);
        if (!screen || !floor) {
            std::fprintf(stderr, "start-up run %d failed\n", i + 1);
            return 1;
        }
        screenMs << screen->ms;
        bareMs << floor->ms;
        screenPeak << screen->peakMiB;
        barePeak << floor->peakMiB;
    }

    const Bench::Summary s = Bench::summarize(screenMs), b = Bench::summarize(bareMs);
    const Bench::Summary sp = Bench::summarize(screenPeak), bp = Bench::summarize(barePeak);
    std::printf("Start-up to the first painted frame, %d runs each, %dx%d window (goal 150 ms)\n", Runs,
                first->size.width(), first->size.height());
    std::printf("                      median      best   peak memory\n");
    std::printf("  start-up screen  %7.1f ms %6.1f ms   %7.1f MiB\n", s.median, s.best, sp.median);
    std::printf("  bare Qt window   %7.1f ms %6.1f ms   %7.1f MiB\n", b.median, b.best, bp.median);
    std::printf("  ratio            %10s %9s   %11s\n", qPrintable(Bench::ratio(s.median, b.median)),
                qPrintable(Bench::ratio(s.best, b.best)), qPrintable(Bench::ratio(sp.median, bp.median)));
    return 0;
}
