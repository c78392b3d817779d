// The Debian package as a desk receives it: packed by CPack, unpacked into a
// scratch root (never installed on this machine), its files checked with the
// desktop's own validators and its programs started from there.
#include "store/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {
const QString AppId = QStringLiteral("org.corvantis.Tallymere");
const QString EntryPath = QStringLiteral("usr/share/applications/%1.desktop").arg(AppId);
const QString IconPath = QStringLiteral("usr/share/icons/hicolor/scalable/apps/%1.svg").arg(AppId);
const QString MetainfoPath = QStringLiteral("usr/share/metainfo/%1.metainfo.xml").arg(AppId);
const QString ManPagePath = QStringLiteral("usr/share/man/man1/tallymere-admin.1.gz");
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

// The [Desktop Entry] group of a desktop file, key by key.
QMap<QString, QString> desktopEntry(const QString &path)
{
    QMap<QString, QString> entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    QString group;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('[')))
            group = line.trimmed();
        else if (group == QLatin1String("[Desktop Entry]") && line.contains(QLatin1Char('=')))
            entry.insert(line.section(QLatin1Char('='), 0, 0).trimmed(), line.section(QLatin1Char('='), 1).trimmed());
    }
    return entry;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
    QMap<QString, QString> m_owners;

    QString unpacked(const QString &path) const { return QDir(m_root).filePath(path); }

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
        static const QRegularExpression entry(QStringLiteral(R"(^(\S+)\s+(\S+)\s+\d+\s+\S+\s+\S+\s+\./(.*)$)"));
        for (const QString &line : QString::fromLocal8Bit(listing.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch match = entry.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            if (match.captured(1).startsWith(QLatin1Char('d')))
                continue;
            m_modes.insert(match.captured(3), match.captured(1));
            m_owners.insert(match.captured(3), match.captured(2));
        }
    }

    void shouldBeNamedAsTheReadmeSays()
    {
        const Run arch = run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")});
        QVERIFY(arch.finished && arch.exitCode == 0);
        QCOMPARE(QFileInfo(m_package).fileName(),
                 QStringLiteral("tallymere_%1_%2.deb").arg(QStringLiteral(TALLYMERE_PACKAGE_VERSION),
                                                           QString::fromLatin1(arch.out.trimmed())));
    }

    void shouldPutEachFileWhereTheDesktopLooksForIt_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("type"); // a MIME type, or "program"
        const QString program = QStringLiteral("-rwxr-xr-x");
        const QString data = QStringLiteral("-rw-r--r--");
        QTest::newRow("desk program") << "usr/bin/tallymere" << program << "program";
        QTest::newRow("menu entry") << EntryPath << data << "text/plain";
        QTest::newRow("icon") << IconPath << data << "image/svg+xml";
        QTest::newRow("software-centre description") << MetainfoPath << data << "text/xml";
        QTest::newRow("licence") << "usr/share/doc/tallymere/copyright" << data << "text/plain";
        if (WithAdminTool) {
            QTest::newRow("admin tool") << "usr/bin/tallymere-admin" << program << "program";
            QTest::newRow("admin manual page") << ManPagePath << data << "application/gzip";
        }
    }

    void shouldPutEachFileWhereTheDesktopLooksForIt()
    {
        QFETCH(QString, path);
        QFETCH(QString, mode);
        QFETCH(QString, type);
        QVERIFY2(m_modes.contains(path), qPrintable(path));
        QCOMPARE(m_modes.value(path), mode);
        QCOMPARE(m_owners.value(path), QStringLiteral("root/root"));
        QVERIFY(QFileInfo(unpacked(path)).size() > 0);
        if (type == QLatin1String("program")) {
            const QString description = QString::fromLocal8Bit(
                run(QStringLiteral("file"), {QStringLiteral("-b"), unpacked(path)}).out);
            QVERIFY2(description.startsWith(QLatin1String("ELF ")), qPrintable(description));
            // The build keeps its debugging symbols; the package must not.
            QVERIFY2(description.contains(QLatin1String(", stripped")), qPrintable(description));
            // A search path into the build folder would load the wrong libraries.
            const Run dynamic = run(QStringLiteral("readelf"), {QStringLiteral("-d"), unpacked(path)});
            QVERIFY(dynamic.finished && dynamic.exitCode == 0);
            QVERIFY2(!dynamic.out.contains("RPATH") && !dynamic.out.contains("RUNPATH"), dynamic.out.constData());
        } else {
            const Run mime = run(QStringLiteral("file"), {QStringLiteral("-b"), QStringLiteral("--mime-type"), unpacked(path)});
            QCOMPARE(QString::fromLatin1(mime.out.trimmed()), type);
        }
    }

    void shouldHoldNothingButItsOwnFiles()
    {
        QStringList expected{QStringLiteral("usr/bin/tallymere"), EntryPath, IconPath, MetainfoPath,
                             QStringLiteral("usr/share/doc/tallymere/copyright")};
        // The manual page comes with the program it describes, never alone.
        if (WithAdminTool)
            expected << QStringLiteral("usr/bin/tallymere-admin") << ManPagePath;
        QStringList held = m_modes.keys();
        held.sort();
        expected.sort();
        QCOMPARE(held, expected);
    }

    void shouldDependOnEveryLibraryItsProgramsLoad()
    {
        const Run control = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_package, QStringLiteral("Depends")});
        QVERIFY(control.finished && control.exitCode == 0);
        QSet<QString> depends;
        static const QRegularExpression separator(QStringLiteral("[,|]"));
        for (const QString &item : QString::fromLocal8Bit(control.out).split(separator, Qt::SkipEmptyParts))
            depends.insert(item.section(QLatin1Char('('), 0, 0).trimmed());

        QStringList programs{QStringLiteral("usr/bin/tallymere")};
        if (WithAdminTool)
            programs << QStringLiteral("usr/bin/tallymere-admin");
        // The libraries a program names itself; each brings its own
        // dependencies along. The loader says where each one is found.
        static const QRegularExpression needed(QStringLiteral(R"(\(NEEDED\)\s+Shared library: \[(\S+)\])"));
        static const QRegularExpression found(QStringLiteral(R"(^\s*(\S+) => (/\S+) \(0x)"),
                                              QRegularExpression::MultilineOption);
        for (const QString &program : programs) {
            const Run dynamic = run(QStringLiteral("readelf"), {QStringLiteral("-d"), unpacked(program)});
            QVERIFY2(dynamic.finished && dynamic.exitCode == 0, qPrintable(dynamic.report()));
            const Run ldd = run(QStringLiteral("ldd"), {unpacked(program)});
            QVERIFY2(ldd.finished && ldd.exitCode == 0, qPrintable(ldd.report()));
            QVERIFY2(!ldd.out.contains("not found"), ldd.out.constData());
            QMap<QString, QString> paths;
            for (auto it = found.globalMatch(QString::fromLocal8Bit(ldd.out)); it.hasNext();) {
                const QRegularExpressionMatch match = it.next();
                paths.insert(match.captured(1), match.captured(2));
            }
            int count = 0;
            for (auto it = needed.globalMatch(QString::fromLocal8Bit(dynamic.out)); it.hasNext(); ++count) {
                const QString library = it.next().captured(1);
                QVERIFY2(paths.contains(library), qPrintable(library));
                const QString package = owningPackage(paths.value(library));
                QVERIFY2(!package.isEmpty(), qPrintable(QStringLiteral("no package ships %1").arg(paths.value(library))));
                QVERIFY2(depends.contains(package),
                         qPrintable(QStringLiteral("%1 needs %2 from %3, which the package does not depend on")
                                        .arg(program, library, package)));
            }
            QVERIFY(count > 0);
        }

        // Qt loads its SQLite driver as a plug-in, which no link line shows.
        const QString driver =
            QDir(QLibraryInfo::path(QLibraryInfo::PluginsPath)).filePath(QStringLiteral("sqldrivers/libqsqlite.so"));
        QVERIFY2(QFileInfo::exists(driver), qPrintable(driver));
        const QString package = owningPackage(driver);
        QVERIFY2(!package.isEmpty(), qPrintable(driver));
        QVERIFY2(depends.contains(package), qPrintable(package));
    }

    void shouldPassTheDesktopEntryValidator()
    {
        const Run validate = run(QStringLiteral("desktop-file-validate"), {unpacked(EntryPath)});
        QVERIFY2(validate.finished && validate.exitCode == 0, qPrintable(validate.report()));
        QVERIFY2(!validate.out.contains("error:") && !validate.out.contains("warning:"), validate.out.constData());
    }

    void shouldShowInTheMenuAsTallymereWithItsEmblem()
    {
        const QMap<QString, QString> entry = desktopEntry(unpacked(EntryPath));
        QCOMPARE(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(entry.value(QStringLiteral("Name")), QStringLiteral("Tallymere"));
        const QStringList categories = entry.value(QStringLiteral("Categories")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        QVERIFY(categories.contains(QStringLiteral("Office")));
        QVERIFY(categories.contains(QStringLiteral("Education")));

        // The menu starts the packaged program, which takes no arguments.
        const QString exec = entry.value(QStringLiteral("Exec"));
        QCOMPARE(exec.split(QLatin1Char(' '), Qt::SkipEmptyParts).size(), 1);
        const QFileInfo program(unpacked(QStringLiteral("usr/bin/") + exec));
        QVERIFY2(program.isFile() && program.isExecutable(), qPrintable(exec));
        // The program's window carries its program's name as its class;
        // the desktop matches it to the entry by that.
        QCOMPARE(entry.value(QStringLiteral("StartupWMClass")), exec);

        QCOMPARE(entry.value(QStringLiteral("Icon")), AppId);
        const QByteArray emblem = contents(QStringLiteral(SOURCE_DIR "/assets/emblem.svg"));
        QVERIFY(!emblem.isEmpty());
        QCOMPARE(contents(unpacked(IconPath)), emblem);
    }

    void shouldPassTheAppStreamValidator()
    {
        const Run file = run(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                                             unpacked(MetainfoPath)});
        QVERIFY2(file.finished && file.exitCode == 0, qPrintable(file.report()));
        // The whole tree: the description, its desktop entry and its icon together.
        const Run tree = run(QStringLiteral("appstreamcli"),
                             {QStringLiteral("validate-tree"), QStringLiteral("--no-net"), m_root});
        QVERIFY2(tree.finished && tree.exitCode == 0, qPrintable(tree.report()));
    }

    void shouldDescribeTheSameApplicationToSoftwareCentres()
    {
        QXmlStreamReader xml(contents(unpacked(MetainfoPath)));
        QMap<QString, QString> values;
        QString firstRelease;
        bool rated = false;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QString name = xml.name().toString();
            if (name == QLatin1String("release") && firstRelease.isEmpty())
                firstRelease = xml.attributes().value(QLatin1String("version")).toString();
            else if (name == QLatin1String("content_rating"))
                rated = true;
            else if (name == QLatin1String("launchable"))
                values.insert(name, xml.readElementText());
            else if (xml.attributes().isEmpty()
                     && (name == QLatin1String("id") || name == QLatin1String("name")
                         || name == QLatin1String("project_license")))
                values.insert(name, xml.readElementText());
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(values.value(QStringLiteral("id")), AppId);
        QCOMPARE(values.value(QStringLiteral("name")), QStringLiteral("Tallymere"));
        QCOMPARE(values.value(QStringLiteral("launchable")), QFileInfo(EntryPath).fileName());
        QCOMPARE(values.value(QStringLiteral("project_license")), QStringLiteral("MIT"));
        QVERIFY(rated);
        // The newest release listed is the one packed.
        QCOMPARE(firstRelease, QStringLiteral(TALLYMERE_PACKAGE_VERSION));
    }

    void shouldShipAManualPageThatFormatsCleanly()
    {
        if (!WithAdminTool)
            QSKIP("The admin tool is not built, so neither is its manual page.");
        const Run page = run(QStringLiteral("gzip"), {QStringLiteral("-dc"), unpacked(ManPagePath)});
        QVERIFY2(page.finished && page.exitCode == 0, qPrintable(page.report()));
        QVERIFY(page.out.startsWith(".TH TALLYMERE-ADMIN 1 "));
        // -ww reports every construct groff finds doubtful.
        const Run groff = run(QStringLiteral("groff"),
                              {QStringLiteral("-man"), QStringLiteral("-Tutf8"), QStringLiteral("-ww"), QStringLiteral("-z")},
                              page.out);
        QVERIFY2(groff.finished && groff.exitCode == 0 && groff.err.isEmpty(), qPrintable(groff.report()));
    }

    void shouldRunTheUnpackedAdminTool()
    {
        if (!WithAdminTool)
            QSKIP("The admin tool is not built.");
        const Run help = run(unpacked(QStringLiteral("usr/bin/tallymere-admin")), {QStringLiteral("--help")});
        QVERIFY2(help.finished && help.exitCode == 0, qPrintable(help.report()));
        QVERIFY(!help.out.trimmed().isEmpty());
    }

    void shouldMakeBothStoresWhenTheUnpackedProgramFirstStarts()
    {
        // GIVEN a user who has never run Tallymere
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        const QDir folder(home.filePath(QStringLiteral("data/Tallymere")));
        const QString catalogue = folder.filePath(Schema::fileName(Schema::File::Transactions));
        const QString desk = folder.filePath(Schema::fileName(Schema::File::Tallymere));

        // WHEN the unpacked program starts
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(unpacked(QStringLiteral("usr/bin/tallymere")), {});
        QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));

        // THEN it makes both stores before its start-up screen, and stays
        // running there: it only ends when the librarian leaves it. A store
        // is moved into place only once it is complete.
        QTRY_VERIFY_WITH_TIMEOUT((QFileInfo::exists(catalogue) && QFileInfo::exists(desk))
                                     || program.state() == QProcess::NotRunning,
                                 120000);
        QVERIFY2(program.state() == QProcess::Running,
                 qPrintable(QStringLiteral("ended with status %1").arg(program.exitCode())));
        program.kill();
        QVERIFY(program.waitForFinished());

        QVERIFY(ownerOnly(folder.path()));
        for (const Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
            const QString path = folder.filePath(Schema::fileName(file));
            QVERIFY2(QFileInfo(path).size() > 0, qPrintable(path));
            QVERIFY2(ownerOnly(path), qPrintable(path));
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            QSqlQuery version(db);
            QVERIFY(version.exec(QStringLiteral("PRAGMA user_version")) && version.next());
            QCOMPARE(version.value(0).toInt(), Schema::currentVersion(file));
        }
        {
            QSqlQuery books(QSqlDatabase::database(catalogue));
            QVERIFY(books.exec(QStringLiteral("SELECT count(*) FROM ") + Schema::quoted(Schema::books().name)));
            QVERIFY(books.next());
            QVERIFY(books.value(0).toInt() > 0);
            QSqlQuery account(QSqlDatabase::database(desk));
            QVERIFY(account.prepare(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?")
                                        .arg(Schema::quoted(Schema::user().name), Schema::quoted(QStringLiteral("Username")))));
            account.addBindValue(QStringLiteral("Administrator"));
            QVERIFY(account.exec() && account.next());
            QCOMPARE(account.value(0).toInt(), 1);
        }
        for (const QString &path : {catalogue, desk}) {
            QSqlDatabase::database(path).close();
            QSqlDatabase::removeDatabase(path);
        }
    }
};

QTEST_GUILESS_MAIN(PackageTest)

#include "tst_package.moc"
