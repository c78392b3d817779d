// The Debian package as a desk receives it: packed by CPack, unpacked into a
// scratch root (never installed on this machine), its files checked with the
// desktop's own validators and its programs started from there.
#include "store/engine/schema.h"
#include "tallymere/version.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <utility>

namespace {
const QString AppId = QStringLiteral("org.corvantis.tallymere");
const QString EntryPath = QStringLiteral("usr/share/applications/%1.desktop").arg(AppId);
const QString IconPath = QStringLiteral("usr/share/icons/hicolor/scalable/apps/%1.svg").arg(AppId);
const QString MetainfoPath = QStringLiteral("usr/share/metainfo/%1.metainfo.xml").arg(AppId);
const QString ManPagePath = QStringLiteral("usr/share/man/man1/tallymere-admin.1.gz");
const QString DeskManPagePath = QStringLiteral("usr/share/man/man1/tallymere.1.gz");
const QString ChangelogPath = QStringLiteral("usr/share/doc/tallymere/changelog.gz");
const QString CompletionPath = QStringLiteral("usr/share/bash-completion/completions/tallymere-admin");
constexpr bool WithAdminTool = WITH_ADMIN_TOOL;

struct Run {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QString report() const { return QString::fromLocal8Bit(err + out).trimmed(); }
};

Run run(const QString &program, const QStringList &arguments, const QByteArray &input = {},
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    Run result;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        result.err = QStringLiteral("cannot start %1: %2").arg(program, process.errorString()).toLocal8Bit();
        return result;
    }
    process.write(input);
    process.closeWriteChannel();
    result.finished = process.waitForFinished(240000) && process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// The package that ships `path`. On a merged-/usr system the loader may
// report a library under /lib while dpkg knows it under /usr/lib, or the
// other way round.
QString owningPackage(const QString &path)
{
    QStringList candidates{path, QFileInfo(path).canonicalFilePath()};
    for (const QString &candidate : QStringList(candidates)) {
        if (candidate.startsWith(QLatin1String("/usr/")))
            candidates << candidate.mid(4);
        else if (candidate.startsWith(QLatin1Char('/')))
            candidates << QStringLiteral("/usr") + candidate;
    }
    for (const QString &candidate : candidates) {
        const Run query = run(QStringLiteral("dpkg-query"), {QStringLiteral("-S"), candidate});
        if (query.finished && query.exitCode == 0) {
            const QString line = QString::fromLocal8Bit(query.out).section(QLatin1Char('\n'), 0, 0);
            return line.section(QStringLiteral(": "), 0, 0).section(QLatin1Char(','), 0, 0).section(QLatin1Char(':'), 0, 0).trimmed();
        }
    }
    return {};
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The page as man shows it on an 80-column terminal, one line each, the
// indent taken off; what groff had to say about it, in `*warnings`.
QStringList formatted(const QByteArray &page, QString *warnings)
{
    // -ww reports every construct groff finds doubtful.
    const Run groff = run(QStringLiteral("groff"), {QStringLiteral("-man"), QStringLiteral("-Tutf8"), QStringLiteral("-ww"),
                                                    QStringLiteral("-rLL=80n"), QStringLiteral("-P-cbou")},
                          page);
    *warnings = groff.finished && groff.exitCode == 0 ? QString::fromLocal8Bit(groff.err) : groff.report();
    QStringList lines;
    for (const QString &line : QString::fromUtf8(groff.out).split(QLatin1Char('\n')))
        lines << line.trimmed();
    return lines;
}

bool ownerOnly(const QString &path)
{
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    return (QFileInfo(path).permissions() & others) == QFile::Permissions();
}
} // namespace

class PackageTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QString m_package;
    QString m_root;
    // Each file of the package by its path (no leading "./"): its mode and
    // owner as the archive holds them.
    QMap<QString, QString> m_modes;

    QString unpacked(const QString &path) const { return QDir(m_root).filePath(path); }
    QStringList programs() const
    {
        return WithAdminTool ? QStringList{"usr/bin/tallymere", "usr/bin/tallymere-admin"}
                             : QStringList{"usr/bin/tallymere"};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        const QString out = m_work.filePath(QStringLiteral("out"));
        const Run pack = run(QStringLiteral(CPACK_PROGRAM),
                             {QStringLiteral("--config"), QStringLiteral(CPACK_CONFIG), QStringLiteral("-B"), out});
        QVERIFY2(pack.finished && pack.exitCode == 0, qPrintable(pack.report()));
        const QStringList debs = QDir(out).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_package = QDir(out).filePath(debs.first());
        m_root = m_work.filePath(QStringLiteral("root"));
        const Run unpack = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_package, m_root});
        QVERIFY2(unpack.finished && unpack.exitCode == 0, qPrintable(unpack.report()));
        const Run listing = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), m_package});
        QVERIFY2(listing.finished && listing.exitCode == 0, qPrintable(listing.report()));
        // -rw-r--r-- root/root    1217 2026-12-07 00:04 ./usr/share/doc/tallymere/copyright
        static const QRegularExpression entry(QStringLiteral(R"(^(-\S+)\s+(\S+)\s+\d+\s+\S+\s+\S+\s+\./(.*)$)"));
        for (const QString &line : QString::fromLocal8Bit(listing.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch match = entry.match(line);
            if (match.hasMatch()) // files only, not folders
                m_modes.insert(match.captured(3), match.captured(1) + QLatin1Char(' ') + match.captured(2));
        }
    }

    void shouldBeNamedAndCarryAChangelogOfThePackedVersion()
    {
        const Run arch = run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")});
        QCOMPARE(QFileInfo(m_package).fileName(),
                 QStringLiteral("tallymere_%1_%2.deb").arg(QStringLiteral(TALLYMERE_VERSION),
                                                           QString::fromLatin1(arch.out.trimmed())));
        const Run changelog = run(QStringLiteral("gzip"), {QStringLiteral("-dc"), unpacked(ChangelogPath)});
        QVERIFY2(changelog.exitCode == 0, qPrintable(changelog.report()));
        QVERIFY2(changelog.out.startsWith(QStringLiteral("tallymere (%1) ").arg(TALLYMERE_VERSION).toUtf8()),
                 changelog.out.left(80).constData());
    }

    void shouldHoldItsOwnFilesWhereTheDesktopLooksForThemAndNothingElse()
    {
        // The manual page comes with the program it describes, never alone.
        QMap<QString, QString> types{{EntryPath, "text/plain"},
                                     {IconPath, "image/svg+xml"},
                                     {MetainfoPath, "text/xml"},
                                     {DeskManPagePath, "application/gzip"},
                                     {ChangelogPath, "application/gzip"},
                                     {"usr/share/doc/tallymere/copyright", "text/plain"}};
        if (WithAdminTool) {
            types.insert(ManPagePath, QStringLiteral("application/gzip"));
            types.insert(CompletionPath, QStringLiteral("text/plain"));
        }
        for (const QString &program : programs())
            types.insert(program, QString());
        QCOMPARE(m_modes.keys(), types.keys());
        for (auto it = types.cbegin(); it != types.cend(); ++it) {
            const QString path = unpacked(it.key());
            if (!it.value().isEmpty()) {
                QCOMPARE(m_modes.value(it.key()), QStringLiteral("-rw-r--r-- root/root"));
                const Run mime = run(QStringLiteral("file"), {QStringLiteral("-b"), QStringLiteral("--mime-type"), path});
                QCOMPARE(QString::fromLatin1(mime.out.trimmed()), it.value());
                continue;
            }
            QCOMPARE(m_modes.value(it.key()), QStringLiteral("-rwxr-xr-x root/root"));
            // The build keeps its debugging symbols; the package must not.
            const QString description = QString::fromLocal8Bit(run(QStringLiteral("file"), {QStringLiteral("-b"), path}).out);
            QVERIFY2(description.startsWith(QLatin1String("ELF ")) && description.contains(QLatin1String(", stripped")),
                     qPrintable(description));
            // A search path into the build folder would load the wrong libraries.
            const Run dynamic = run(QStringLiteral("readelf"), {QStringLiteral("-d"), path});
            QVERIFY2(dynamic.exitCode == 0 && !dynamic.out.contains("RPATH") && !dynamic.out.contains("RUNPATH"),
                     dynamic.out.constData());
        }
    }

    void shouldDependOnEveryLibraryItsProgramsLoad()
    {
        const Run control = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_package, QStringLiteral("Depends")});
        QSet<QString> depends;
        static const QRegularExpression separator(QStringLiteral("[,|]"));
        for (const QString &item : QString::fromLocal8Bit(control.out).split(separator, Qt::SkipEmptyParts))
            depends.insert(item.section(QLatin1Char('('), 0, 0).trimmed());
        // The libraries a program names itself (each brings its own along),
        // found where the loader finds them; and Qt's SQLite driver, a
        // plug-in that no link line shows.
        static const QRegularExpression needed(QStringLiteral(R"(\(NEEDED\)\s+Shared library: \[(\S+)\])"));
        static const QRegularExpression found(QStringLiteral(R"(^\s*(\S+) => (/\S+) \(0x)"),
                                              QRegularExpression::MultilineOption);
        QStringList libraries{QDir(QLibraryInfo::path(QLibraryInfo::PluginsPath)).filePath("sqldrivers/libqsqlite.so")};
        for (const QString &program : programs()) {
            const Run dynamic = run(QStringLiteral("readelf"), {QStringLiteral("-d"), unpacked(program)});
            const Run ldd = run(QStringLiteral("ldd"), {unpacked(program)});
            QVERIFY2(ldd.exitCode == 0 && !ldd.out.contains("not found"), qPrintable(ldd.report()));
            QMap<QString, QString> paths;
            for (auto it = found.globalMatch(QString::fromLocal8Bit(ldd.out)); it.hasNext();) {
                const QRegularExpressionMatch match = it.next();
                paths.insert(match.captured(1), match.captured(2));
            }
            for (auto it = needed.globalMatch(QString::fromLocal8Bit(dynamic.out)); it.hasNext();)
                libraries << paths.value(it.next().captured(1));
        }
        QVERIFY(libraries.size() > programs().size());
        for (const QString &library : libraries) {
            const QString package = owningPackage(library);
            QVERIFY2(!package.isEmpty(), qPrintable(QStringLiteral("no package ships \"%1\"").arg(library)));
            QVERIFY2(depends.contains(package), qPrintable(QStringLiteral("%1 comes from %2, not a dependency")
                                                               .arg(library, package)));
        }
    }

    void shouldShowInTheMenuAsTallymereWithItsEmblem()
    {
        const Run validate = run(QStringLiteral("desktop-file-validate"), {unpacked(EntryPath)});
        QVERIFY2(validate.exitCode == 0 && !validate.out.contains("error:") && !validate.out.contains("warning:"),
                 qPrintable(validate.report()));
        QSettings entry(unpacked(EntryPath), QSettings::IniFormat);
        entry.beginGroup(QStringLiteral("Desktop Entry"));
        QCOMPARE(entry.value(QStringLiteral("Name")).toString(), QStringLiteral("Tallymere"));
        // The menu starts the packaged program, which takes no arguments;
        // the desktop matches its window to the entry by the program's name.
        const QString exec = entry.value(QStringLiteral("Exec")).toString();
        QVERIFY2(QFileInfo(unpacked(QStringLiteral("usr/bin/") + exec)).isExecutable(), qPrintable(exec));
        QCOMPARE(entry.value(QStringLiteral("StartupWMClass")).toString(), exec);
        QCOMPARE(entry.value(QStringLiteral("Icon")).toString(), AppId);
        // One main category, so that the program shows once in the menus.
        QCOMPARE(entry.value(QStringLiteral("Categories")).toStringList(), QStringList{QStringLiteral("Education")});
        QCOMPARE(contents(unpacked(IconPath)), contents(QStringLiteral(SOURCE_DIR "/assets/emblem.svg")));
    }

    void shouldDescribeTheSameApplicationToSoftwareCentres()
    {
        // The description alone, then with its desktop entry and icon; even
        // the pedantic remarks count (a capital in the id is one).
        for (const QString &tree : {unpacked(MetainfoPath), m_root}) {
            const Run validate = run(QStringLiteral("appstreamcli"), {tree == m_root ? "validate-tree" : "validate",
                                                                      QStringLiteral("--pedantic"),
                                                                      QStringLiteral("--no-net"), tree});
            QVERIFY2(validate.finished && validate.exitCode == 0 && !validate.out.contains("pedantic"),
                     qPrintable(validate.report()));
        }
        const QString meta = QString::fromUtf8(contents(unpacked(MetainfoPath)));
        // An address on a reserved domain never resolves, so a software
        // centre could never fetch it.
        static const QRegularExpression reserved(QStringLiteral("://[^/<\"]*\\.(example|test|invalid|localhost)[/:<\"]"));
        QVERIFY2(!reserved.match(meta).hasMatch(), qPrintable(reserved.match(meta).captured()));
        QVERIFY(meta.contains(QStringLiteral("<id>%1</id>").arg(AppId)));
        QVERIFY(meta.contains(QStringLiteral(">%1</launchable>").arg(QFileInfo(EntryPath).fileName())));
        // The newest release listed is the one packed.
        static const QRegularExpression release(QStringLiteral("<release\\b[^>]*\\bversion=\"([^\"]*)\""));
        QCOMPARE(release.match(meta).captured(1), QStringLiteral(TALLYMERE_VERSION));
    }

    void shouldShipManualPagesThatFormatCleanlyAndAnAdminToolThatRuns()
    {
        QMap<QString, QStringList> lines;
        for (const QString &path : WithAdminTool ? QStringList{DeskManPagePath, ManPagePath} : QStringList{DeskManPagePath}) {
            const Run page = run(QStringLiteral("gzip"), {QStringLiteral("-dc"), unpacked(path)});
            const QString program = QFileInfo(path).completeBaseName().section(QLatin1Char('.'), 0, 0);
            QVERIFY2(page.out.startsWith(".TH " + program.toUpper().toUtf8() + " 1 "), qPrintable(path));
            QString warnings;
            lines[program] = formatted(page.out, &warnings);
            QVERIFY2(warnings.isEmpty(), qPrintable(warnings));
        }
        QVERIFY(lines.value(QStringLiteral("tallymere")).contains(QStringLiteral("SEE ALSO")));
        if (!WithAdminTool)
            QSKIP("The admin tool is not built, so neither is its manual page.");
        const QStringList &admin = lines[QStringLiteral("tallymere-admin")];
        const Run help = run(unpacked(QStringLiteral("usr/bin/tallymere-admin")), {QStringLiteral("--help")});
        QVERIFY2(help.exitCode == 0 && !help.out.trimmed().isEmpty(), qPrintable(help.report()));
        // Every command the tool has, each at the head of its own entry.
        // --help lists them under "Commands:", up to a blank line.
        static const QRegularExpression command(QStringLiteral(R"(^  (\S+))"));
        QStringList commands;
        const QStringList helpLines = QString::fromLocal8Bit(help.out).split(QLatin1Char('\n'));
        for (qsizetype i = helpLines.indexOf(QStringLiteral("Commands:")) + 1;
             i > 0 && i < helpLines.size() && !helpLines.at(i).trimmed().isEmpty(); ++i)
            if (const QRegularExpressionMatch match = command.match(helpLines.at(i)); match.hasMatch())
                commands << match.captured(1);
        QVERIFY(commands.contains(QStringLiteral("import-books")));
        for (const QString &name : commands)
            QVERIFY2(!admin.filter(QRegularExpression(QStringLiteral("^%1( |$)").arg(QRegularExpression::escape(name)))).isEmpty(),
                     qPrintable(name));
        // The three exit statuses, each with its own entry.
        const qsizetype statuses = admin.indexOf(QStringLiteral("EXIT STATUS"));
        QVERIFY(statuses > 0);
        for (const char *status : {"0 ", "1 ", "2 "})
            QVERIFY2(!admin.mid(statuses).filter(QRegularExpression(QStringLiteral("^") + status)).isEmpty(), status);
        // The header row of a books file, each name on a line of its own,
        // exactly as the import wants it.
        for (const QString &field : Schema::books().fields)
            QVERIFY2(admin.contains(field), qPrintable(field));
        QVERIFY(admin.join(QLatin1Char(' ')).contains(QStringLiteral("%1 characters").arg(Schema::MaxTextLength)));
    }

    // make run and make bench start the programs where this build makes
    // them (a move of a program into another folder once broke make run).
    void shouldRunTheBuiltProgramsFromTheMakefile()
    {
        const Run make = run(QStringLiteral("make"), {QStringLiteral("-n"), QStringLiteral("-s"), QStringLiteral("-C"),
                                                      QStringLiteral(SOURCE_DIR), QStringLiteral("BUILD=" BINARY_DIR),
                                                      QStringLiteral("run"), QStringLiteral("bench")});
        QVERIFY2(make.finished && make.exitCode == 0, qPrintable(make.report()));
        QStringList started;
        for (const QString &line : QString::fromLocal8Bit(make.out).split(QLatin1Char('\n'))) {
            const QString program = line.section(QLatin1Char(' '), -1);
            if (program.startsWith(QStringLiteral(BINARY_DIR "/")))
                started << program;
        }
        QVERIFY2(started.size() > 1 && started.first() == QStringLiteral(DESK_PROGRAM), qPrintable(started.join(' ')));
        // Each benchmark the build defines, by its source.
        for (const QString &program : started.mid(1))
            QVERIFY2(QFileInfo::exists(QStringLiteral(SOURCE_DIR "/bench/") + QFileInfo(program).fileName() + ".cpp")
                         && QFileInfo(program).path() == QStringLiteral(BINARY_DIR "/bench"),
                     qPrintable(program));
        QVERIFY(QFileInfo(QStringLiteral(DESK_PROGRAM)).isExecutable());
    }

    void shouldPassLintian()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("lintian")).isEmpty())
            QSKIP("lintian is not installed.");
        const Run lintian = run(QStringLiteral("lintian"), {m_package});
        // Only errors and warnings: it also says on standard error when it runs as root.
        QStringList findings;
        for (const QString &line : QString::fromLocal8Bit(lintian.out).split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("E: ")) || line.startsWith(QLatin1String("W: ")))
                findings << line;
        QVERIFY2(lintian.finished && findings.isEmpty(), qPrintable(findings.join(QLatin1Char('\n'))));
    }

    void shouldMakeBothStoresWhenTheUnpackedProgramFirstStarts()
    {
        // GIVEN a user who has never run Tallymere
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), home.path());
        for (const char *xdg : {"DATA", "CONFIG", "CACHE"})
            environment.insert(QStringLiteral("XDG_%1_HOME").arg(xdg), home.filePath(QString::fromLatin1(xdg)));
        const QDir folder(home.filePath(QStringLiteral("DATA/Tallymere")));
        const QString catalogue = folder.filePath(Schema::fileName(Schema::File::Transactions));
        const QString desk = folder.filePath(Schema::fileName(Schema::File::Tallymere));

        // WHEN the unpacked program starts
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(unpacked(QStringLiteral("usr/bin/tallymere")), {});

        // THEN it makes both stores before its start-up screen, and stays
        // running there. A store is moved into place only once complete.
        QTRY_VERIFY_WITH_TIMEOUT((QFileInfo::exists(catalogue) && QFileInfo::exists(desk))
                                     || program.state() == QProcess::NotRunning,
                                 120000);
        QVERIFY2(program.state() == QProcess::Running, qPrintable(QString::number(program.exitCode())));
        program.kill();
        QVERIFY(program.waitForFinished());
        // Only the librarian may read them; the catalogue has its books and
        // the desk its Administrator.
        QVERIFY(ownerOnly(folder.path()));
        const QString user = QStringLiteral("%1 WHERE Username = 'Administrator'").arg(Schema::quoted(Schema::user().name));
        for (const auto &[file, table] : {std::pair(Schema::File::Transactions, Schema::quoted(Schema::books().name)),
                                          std::pair(Schema::File::Tallymere, user)}) {
            const QString path = folder.filePath(Schema::fileName(file));
            QVERIFY2(ownerOnly(path), qPrintable(path));
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
                db.setDatabaseName(path);
                db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
                QVERIFY2(db.open(), qPrintable(db.lastError().text()));
                QSqlQuery query(db);
                QVERIFY(query.exec(QStringLiteral("PRAGMA user_version")) && query.next());
                QCOMPARE(query.value(0).toInt(), Schema::currentVersion(file));
                QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM ") + table) && query.next());
                QVERIFY(query.value(0).toInt() > 0);
            }
            QSqlDatabase::removeDatabase(path);
        }
    }
};

QTEST_GUILESS_MAIN(PackageTest)

#include "tst_package.moc"
