// Time from process start to the first painted frame of the start-up
// screen, on an installed data folder, and the peak memory of that process.
// Run without arguments: it starts itself as a child several times.
#include "app/ui/navigator.h"
#include "app/screens.h"
#include "store/database.h"

#include <QApplication>
#include <QStandardPaths>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

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

QString peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return QString::fromLatin1(line.mid(6).trimmed());
    return QStringLiteral("?");
}

class FirstPaint : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            // Let the paint finish, then report and leave.
            QMetaObject::invokeMethod(
                qApp,
                [] {
                    std::printf("painted %s\n", qPrintable(peakMemory()));
                    std::fflush(stdout);
                    std::_Exit(0);
                },
                Qt::QueuedConnection);
        }
        return false;
    }
};

int child(int argc, char **argv)
{
    QApplication app(argc, argv);
    prepareApplication(app);
    if (Database::install(useDataFolder()).isValid())
        return 1;
    registerScreens();
    QWidget *splash = Navigator::instance().create(QStringLiteral("frmSplash"));
    FirstPaint watcher;
    splash->installEventFilter(&watcher);
    splash->show();
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return child(argc, argv);

    QCoreApplication app(argc, argv);
    QTemporaryDir data;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    const int runs = 8;
    QList<double> times;
    QString memory;
    for (int i = 0; i <= runs; ++i) { // the first run installs the data folder
        QProcess process;
        process.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
        if (!process.waitForFinished(30000)) {
            std::fprintf(stderr, "start-up run %d did not finish\n", i);
            return 1;
        }
        const double ms = clock.nsecsElapsed() / 1e6;
        const QString out = QString::fromLatin1(process.readAllStandardOutput()).trimmed();
        if (!out.startsWith(QStringLiteral("painted"))) {
            std::fprintf(stderr, "start-up run %d failed: %s\n", i, qPrintable(out));
            return 1;
        }
        if (i == 0)
            continue;
        times << ms;
        memory = out.mid(8);
    }
    std::sort(times.begin(), times.end());
    std::printf("start-up to first painted frame: median %.1f ms, best %.1f ms, worst %.1f ms (%d runs; goal 150 ms)\n",
                times.at(times.size() / 2), times.first(), times.last(), int(times.size()));
    std::printf("start-up peak memory: %s\n", qPrintable(memory));
    return 0;
}
