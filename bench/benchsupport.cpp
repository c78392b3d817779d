#include "bench/benchsupport.h"

#include "store/engine/database.h"
#include "store/engine/dialect.h"
#include "store/engine/gramtable.h"
#include "store/engine/location.h"
#include "store/engine/schema.h"
#include "store/engine/serversql.h"
#include "store/engine/storeerror.h"
#include "store/search/gramindex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include <sys/wait.h>
#include <unistd.h>

namespace Bench {

namespace {

const QString FillConnection = QStringLiteral("bench-fill");

// The INSERT … SELECT over a counter that makes the loans, with every text
// it stores bound in the order the marks stand.
struct FillStatement {
    QString sql;
    QVariantList params;
};

FillStatement fillStatement(int count)
{
    FillStatement s;
    auto bind = [&s](const QVariant &value) {
        s.params << value;
        return QStringLiteral("?");
    };
    const QString returned = QStringLiteral("i % 3 = 0");
    auto ifReturned = [&](const QString &expression) {
        return QStringLiteral("CASE WHEN %1 THEN %2 END").arg(returned, expression);
    };
    auto dayAfterStart = [&](const QString &days) {
        return QStringLiteral("date(%1, '+' || (%2) || ' days')").arg(bind(QStringLiteral("2020-06-01")), days);
    };

    QStringList columns;
    for (const QString &field : Schema::borrower().fields)
        columns << Schema::quoted(field);
    const QStringList values{
        QStringLiteral("printf(%1, i + 1)").arg(bind(QStringLiteral("A-%07d"))),
        QStringLiteral("%1 || (i % 50000)").arg(bind(QStringLiteral("BN-"))),
        QStringLiteral("%1 || (i % 20000)").arg(bind(QStringLiteral("Book title number "))),
        QStringLiteral("CASE i % 4 WHEN 0 THEN %1 WHEN 1 THEN %2 WHEN 2 THEN %3 ELSE %4 END")
            .arg(bind(QStringLiteral("FICTION")), bind(QStringLiteral("REFERENCE")),
                 bind(QStringLiteral("SCIENCE(Computer Books & Math)")), bind(QStringLiteral("WORLD HISTORY"))),
        QStringLiteral("%1 || (i % 7000)").arg(bind(QStringLiteral("Borrower "))),
        dayAfterStart(QStringLiteral("i % 1800")),
        ifReturned(bind(QStringLiteral("Returned"))),
        ifReturned(dayAfterStart(QStringLiteral("i % 1800 + 9"))),
        QStringLiteral("CASE WHEN i % 10 = 0 THEN %1 ELSE %2 END")
            .arg(bind(QStringLiteral("Staff")), bind(QStringLiteral("Student"))),
        QStringLiteral("CASE i % 3 WHEN 0 THEN %1 WHEN 1 THEN %2 ELSE %3 END")
            .arg(bind(QStringLiteral("2ICT1")), bind(QStringLiteral("1ECT2")), bind(QStringLiteral("WT"))),
        ifReturned(bind(QStringLiteral("OK"))),
        ifReturned(bind(QStringLiteral("9"))),
        ifReturned(bind(QStringLiteral("No"))),
        ifReturned(bind(QStringLiteral("0"))),
        ifReturned(bind(QStringLiteral("0"))),
    };
    Q_ASSERT(values.size() == columns.size());
    // The counter's limit is bound last: it stands last in the text.
    s.sql = QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM "
                           "(WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ?) "
                           "SELECT i FROM n)")
                .arg(Schema::quoted(Schema::borrower().name), columns.join(QLatin1Char(',')),
                     values.join(QLatin1Char(',')));
    s.params << count;
    return s;
}

// Runs `s` in one transaction and checks that `table` then holds `count` rows.
StoreError fillWith(QSqlDatabase &db, const FillStatement &s, const QString &table, int count)
{
    QSqlQuery q(db);
    // Throw-away data: nothing need survive a crash while it is written.
    if (!q.exec(QStringLiteral("PRAGMA synchronous=OFF")))
        return q.lastError();
    if (!db.transaction())
        return db.lastError();
    q.prepare(s.sql);
    for (const QVariant &p : s.params)
        q.addBindValue(p);
    if (!q.exec()) {
        const StoreError error = q.lastError();
        db.rollback();
        return error;
    }
    if (!db.commit())
        return db.lastError();
    if (!q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(Schema::quoted(table))) || !q.next())
        return q.lastError();
    if (q.value(0).toLongLong() != count)
        return QSqlError(QString(),
                         QStringLiteral("%1 rows were stored in %2 instead of %3")
                             .arg(q.value(0).toLongLong())
                             .arg(table)
                             .arg(count),
                         QSqlError::UnknownError);
    q.finish();
    // Measurements read the main file, not a long write-ahead log.
    if (!q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")))
        return q.lastError();
    return {};
}

// Installs the stores in `folder`, then fills `file` on a connection of its
// own: `prepare` first (it may add temporary tables), then `s`.
StoreError fillStore(const QString &folder, Schema::File file, const FillStatement &s, const QString &table, int count,
                    const std::function<StoreError(QSqlDatabase &)> &prepare = {},
                    const std::function<StoreError(QSqlDatabase &)> &finish = {})
{
    if (StoreError error = Database::install(folder); error.isValid())
        return error;
    StoreError error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FillConnection);
        db.setDatabaseName(QDir(folder).filePath(Schema::fileName(file)));
        if (!db.open())
            error = db.lastError();
        else if (prepare)
            error = prepare(db);
        if (!error.isValid())
            error = fillWith(db, s, table, count);
        if (!error.isValid() && finish)
            error = finish(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(FillConnection);
    return error;
}

// The words of the synthetic catalogue; none holds a j, q, x or z.
const QStringList Subjects{
    "Accounting", "Algebra", "Anatomy", "Anthropology", "Architecture", "Astronomy", "Biology", "Botany",
    "Calculus", "Chemistry", "Civil Engineering", "Computer Science", "Criminology", "Economics", "Education",
    "Electronics", "English Grammar", "Ethics", "Filipino Literature", "Geography", "Geometry", "Geology", "Health",
    "History", "World Literature", "Logic", "Management", "Marketing", "Mathematics", "Mechanics", "Medicine",
    "Music", "Nursing", "Nutrition", "Pharmacology", "Philosophy", "Physics", "Political Science", "Psychology",
    "Public Speaking", "Sociology", "Statistics", "Theology", "Thermodynamics", "Trigonometry", "World History",
    "Rhetoric", "Programming", "Databases", "Computer Networks", "Biochemistry", "Ecology", "Genetics",
    "Horticulture", "Agriculture", "Fisheries", "Marine Biology", "Linguistics", "Poetry", "Drama",
    "Art Appreciation", "Stenography", "Bookkeeping", "Auditing", "Finance", "Banking", "Tourism",
    "Hotel Management", "Home Economics", "Physical Education", "Child Development", "Counseling",
    "Organic Chemistry", "Linear Algebra", "Business Law", "Philippine History", "Microbiology", "Surveying"};
const QStringList Adjectives{
    "Modern", "Applied", "Practical", "Advanced", "Elementary", "General", "Basic", "Essential", "Fundamental",
    "Contemporary", "Comparative", "Introductory", "Philippine", "Asian", "Concise", "Illustrated", "Complete",
    "Selected", "Principles of", "Readings in"};
const QStringList Nouns{
    "History", "Handbook", "Guide", "Workbook", "Manual", "Story", "Survey", "Essentials", "Foundations",
    "Elements", "Readings", "Principles", "Companion", "Dictionary", "Atlas", "Outline", "Review", "Casebook",
    "Primer", "Anthology"};
const QStringList Places{
    "Manila", "Cebu", "Davao", "Tarlac", "Mindanao", "the Visayas", "Asia", "Europe", "Africa", "the Pacific",
    "the Americas", "Iloilo", "Baguio", "Batangas", "Pampanga", "Bicol", "Palawan", "Samar", "Leyte", "Panay"};
const QStringList Audiences{
    "Nurses", "Engineers", "Teachers", "Students", "Beginners", "Managers", "Accountants", "Librarians",
    "Children", "Everyone", "Scientists", "Farmers"};
const QStringList FirstNames{
    "Maria", "Antonio", "Carmen", "Roberto", "Elena", "Ramon", "Teresa", "Eduardo", "Rosario", "Fernando",
    "Lourdes", "Manuel", "Cristina", "Ricardo", "Patricia", "Miguel", "Angela", "Pedro", "Isabel", "Francisco",
    "Victoria", "Andres", "Gloria", "Benigno", "Emilio", "Lucia", "Rafael", "Sofia", "David", "Margaret",
    "Thomas", "Susan", "William", "Helen", "Robert", "Linda", "Charles", "Nancy", "Michael", "Karen", "George",
    "Ellen"};
const QStringList LastNames{
    "Santos", "Reyes", "Bautista", "Ocampo", "Garcia", "Medina", "Torres", "Tomas", "Andrada", "Castillo",
    "Flores", "Villanueva", "Ramos", "Castro", "Rivera", "Navarro", "Mercado", "Aguilar", "Pascual", "Dela Rosa",
    "Del Rosario", "Santiago", "Domingo", "Smith", "Brown", "Miller", "Wilson", "Moore", "Taylor", "Anderson",
    "Thompson", "White", "Harris", "Martin", "Clark", "Lewis", "Walker", "Hall", "Allen", "Young", "Wright",
    "Scott", "Green", "Baker", "Adams", "Nelson", "Hill", "Campbell", "Mitchell", "Roberts", "Carter",
    "Phillips", "Evans", "Turner", "Parker", "Collins", "Edwards", "Stewart", "Morris", "Murphy", "Cook",
    "Rogers", "Morgan", "Cooper", "Peterson", "Bailey", "Reed", "Kelly", "Howard", "Ward", "Bell", "Russell",
    "Griffin", "Hayes", "Myers", "Ford", "Hamilton", "Graham", "Sullivan", "Wallace", "West", "Cole", "Hunt",
    "Stone", "Palmer", "Black", "Mills", "Grant", "Hudson"};
const QStringList Publishers{
    "Rex Book Store", "National Book Store", "Anvil Publishing", "C&E Publishing", "Vibal Group",
    "Prentice Hall", "McGraw-Hill", "Addison-Wesley", "Pearson", "Wiley", "Oxford University Press",
    "Cambridge University Press", "University of the Philippines Press", "Ateneo de Manila University Press"};
const QStringList Classes{"QA", "QC", "QD", "QH", "QK", "HB", "HF", "HG", "HM", "BF", "PN", "PR", "DS", "GB",
                          "RT", "RM", "TA", "TK", "LB", "ML"};
const QStringList Remarks{"Good condition", "Reserve section", "Rebound", "Donated copy", "Faded cover",
                          "Filipiniana section", "Circulation copy", "Missing pages"};
const QStringList Funds{"Library Fund", "Department Budget", "Donation", "Government Grant", "Alumni Gift"};
const QStringList Editions{"1st", "2nd", "3rd", "4th", "5th", "6th", "Revised"};

const QList<const QStringList *> WordLists{&Subjects, &Adjectives, &Nouns,   &Places,  &Audiences,
                                           &FirstNames, &LastNames, &Publishers, &Classes, &Remarks,
                                           &Funds,    &Editions};

// Empties the catalogue of the sample books it is installed with, so that
// book i is rowid i, and puts the word lists in one temporary table, list
// by list, each word by its place in the list.
StoreError prepareBooks(QSqlDatabase &db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("DELETE FROM %1").arg(Schema::quoted(Schema::books().name))))
        return q.lastError();
    if (!q.exec(QStringLiteral("CREATE TEMP TABLE bench_words (list INTEGER, k INTEGER, word TEXT, "
                               "PRIMARY KEY (list, k)) WITHOUT ROWID")))
        return q.lastError();
    if (!db.transaction())
        return db.lastError();
    q.prepare(QStringLiteral("INSERT INTO temp.bench_words (list, k, word) VALUES (?, ?, ?)"));
    for (qsizetype list = 0; list < WordLists.size(); ++list) {
        for (qsizetype k = 0; k < WordLists.at(list)->size(); ++k) {
            q.addBindValue(int(list));
            q.addBindValue(int(k));
            q.addBindValue(WordLists.at(list)->at(k));
            if (!q.exec()) {
                const StoreError error = q.lastError();
                db.rollback();
                return error;
            }
        }
    }
    return db.commit() ? StoreError() : db.lastError();
}

// A piece of SQL and the values of its marks, built strictly left to right.
class Fragment
{
public:
    Fragment &sql(const QString &text)
    {
        m.sql += text;
        return *this;
    }
    Fragment &value(const QVariant &v)
    {
        m.sql += QLatin1Char('?');
        m.params << v;
        return *this;
    }
    // A word of `words` chosen by the SQL expression `counter`.
    Fragment &pick(const QStringList &words, const char *counter)
    {
        Q_ASSERT(WordLists.contains(&words));
        return sql(QStringLiteral("(SELECT word FROM temp.bench_words WHERE list = "))
            .value(int(WordLists.indexOf(&words)))
            .sql(QStringLiteral(" AND k = (%1) % ").arg(QLatin1String(counter)))
            .value(int(words.size()))
            .sql(QStringLiteral(")"));
    }
    Fragment &append(const Fragment &other)
    {
        m.sql += other.m.sql;
        m.params << other.m.params;
        return *this;
    }
    const FillStatement &statement() const { return m; }

private:
    FillStatement m;
};

// The INSERT … SELECT that makes the books. Three mixed counters a, b and c
// pick the words, so that neighbouring books differ.
FillStatement bookStatement(int count)
{
    Fragment title;
    title.sql("CASE WHEN i % 10007 = 5003 THEN ").value("Ornithology of ").sql(" || ").pick(Places, "b / 7");
    title.sql(" ELSE CASE a % 6 WHEN 0 THEN ").pick(Adjectives, "b / 11").sql(" || ' ' || ").pick(Subjects, "c / 13");
    title.sql(" WHEN 1 THEN ").value("Introduction to ").sql(" || ").pick(Subjects, "b / 17");
    title.sql(" WHEN 2 THEN ").value("The ").sql(" || ").pick(Nouns, "c / 19").sql(" || ").value(" of ");
    title.sql(" || ").pick(Places, "b / 23");
    title.sql(" WHEN 3 THEN ").pick(Subjects, "c / 29").sql(" || ").value(" for ").sql(" || ").pick(Audiences, "b / 31");
    title.sql(" WHEN 4 THEN ").pick(Nouns, "b / 37").sql(" || ").value(" of ").sql(" || ").pick(Adjectives, "c / 41");
    title.sql(" || ' ' || ").pick(Subjects, "b / 43");
    title.sql(" ELSE ").pick(Adjectives, "c / 47").sql(" || ' ' || ").pick(Subjects, "b / 53").sql(" || ': ' || ");
    title.pick(Nouns, "c / 59").sql(" END END");
    title.sql(" || CASE WHEN b % 9 = 0 THEN ").value(", Volume ").sql(" || (1 + b / 9 % 4) ELSE '' END");

    Fragment author;
    author.pick(LastNames, "a / 61").sql(" || ', ' || ").pick(FirstNames, "b / 67");
    author.sql(" || CASE WHEN c % 5 = 0 THEN '; ' || ").pick(LastNames, "c / 71").sql(" || ', ' || ");
    author.pick(FirstNames, "a / 73").sql(" ELSE '' END");

    QHash<QString, Fragment> values;
    values[QStringLiteral("BookNumber")].sql("printf(").value("B-%07d").sql(", i + 1)");
    values[QStringLiteral("Classification")]
        .sql("printf(")
        .value("%s%d .A%d %d")
        .sql(", ")
        .pick(Classes, "a / 79")
        .sql(", 1 + b % 990, 1 + c % 90, 1950 + a % 74)");
    values[QStringLiteral("Date received")].sql("date(").value("2000-01-01").sql(", '+' || (c % 9000) || ' days')");
    values[QStringLiteral("ISBN")].sql("printf(").value("978-971-%02d-%04d-%d").sql(", b % 100, c % 10000, a % 10)");
    values[QStringLiteral("Remarks")].pick(Remarks, "c / 83");
    values[QStringLiteral("Year")].sql("1950 + a % 74");
    values[QStringLiteral("Publisher")].pick(Publishers, "b / 89");
    values[QStringLiteral("Cost or            (in Peso)")].sql("printf(").value("%d.00").sql(", 150 + c % 4800)");
    values[QStringLiteral("Source of Fund")].pick(Funds, "a / 97");
    values[QStringLiteral("Pages")].sql("80 + b % 900");
    values[QStringLiteral("Vol")].sql("CASE WHEN b % 9 = 0 THEN (1 + b / 9 % 4) || ").value(" of 4").sql(" ELSE '1' END");
    values[QStringLiteral("Edition")].pick(Editions, "c / 101");
    values[QStringLiteral("Title")] = title;
    values[QStringLiteral("Author")] = author;
    values[QStringLiteral("Price              (in Dollar)")].sql("printf(").value("%d.99").sql(", 5 + a % 120)");

    QStringList columns;
    Fragment insert;
    for (const QString &field : Schema::books().fields) {
        Q_ASSERT(values.contains(field));
        insert.sql(columns.isEmpty() ? QString() : QStringLiteral(",")).append(values.value(field));
        columns << Schema::quoted(field);
    }
    Fragment s;
    s.sql(QStringLiteral("INSERT INTO %1 (%2) SELECT ")
              .arg(Schema::quoted(Schema::books().name), columns.join(QLatin1Char(','))))
        .append(insert)
        .sql("FROM (SELECT i, (i * 2654435761) % 4294967296 AS a, (i * 2246822519 + 374761393) % 4294967296 AS b, "
             "(i * 3266489917 + 668265263) % 4294967296 AS c FROM "
             "(WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ")
        .value(count)
        .sql(") SELECT i FROM n))");
    return s.statement();
}

} // namespace

StoreError fillLoans(const QString &folder, int count)
{
    return fillStore(folder, Schema::File::Tallymere, fillStatement(count), Schema::borrower().name, count);
}

std::optional<double> timedFill(StoreError (*fill)(const QString &, int), const QString &folder, int count,
                                const char *what)
{
    QElapsedTimer clock;
    clock.start();
    if (const StoreError error = fill(folder, count); error.isValid()) {
        std::fprintf(stderr, "filling %d %s failed: %s\n", count, what, qPrintable(error.text()));
        return std::nullopt;
    }
    return clock.nsecsElapsed() / 1e9;
}

std::optional<double> timedProcess(const QString &program, const QStringList &arguments, const QString &input,
                                   const QString &output)
{
    QProcess process;
    if (!input.isEmpty())
        process.setStandardInputFile(input);
    if (!output.isEmpty())
        process.setStandardOutputFile(output);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
        return std::nullopt;
    }
    return clock.nsecsElapsed() / 1e9;
}

StoreError fillBooks(const QString &folder, int count)
{
    // The short-text index is filled once at the end, as the imports do.
    const auto prepare = [](QSqlDatabase &db) {
        const StoreError error = prepareBooks(db);
        return error.isValid() ? error : GramTable::suspend(db);
    };
    const auto finish = [](QSqlDatabase &db) -> StoreError {
        if (!db.transaction())
            return db.lastError();
        if (const StoreError error = GramTable::resume(db); error.isValid()) {
            db.rollback();
            return error;
        }
        if (!db.commit())
            return db.lastError();
        QSqlQuery checkpoint(db);
        return checkpoint.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) ? StoreError() : checkpoint.lastError();
    };
    return fillStore(folder, Schema::File::Transactions, bookStatement(count), Schema::books().name, count,
                     prepare, finish);
}

QString bookNumber(qint64 i)
{
    return QStringLiteral("B-%1").arg(i, 7, 10, QLatin1Char('0'));
}

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

namespace {
QtMessageHandler platformHandler = nullptr;

void dropPlatformWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("This plugin does not support raise()")
        || message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    if (platformHandler)
        platformHandler(type, context, message);
}
} // namespace

void quietenPlatform()
{
    platformHandler = qInstallMessageHandler(dropPlatformWarnings);
}

std::unique_ptr<QTemporaryDir> ensureRuntimeFolder()
{
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        return nullptr;
    auto folder = std::make_unique<QTemporaryDir>();
    if (folder->isValid())
        qputenv("XDG_RUNTIME_DIR", folder->path().toLocal8Bit());
    return folder;
}

bool waitFor(const std::function<bool()> &done, int limitMs)
{
    QElapsedTimer limit;
    limit.start();
    while (!done()) {
        if (limit.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

bool PaintCounter::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::Paint)
        ++paints;
    return false;
}

QProcessEnvironment childEnvironment(const QString &dataHome, const QString &runtimeFolder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (!env.contains(QStringLiteral("XDG_RUNTIME_DIR")))
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
    return env;
}

std::optional<QString> runChild(const QProcessEnvironment &env, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(), arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

Summary summarize(QList<double> values)
{
    Summary s;
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    s.median = n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
    s.best = values.first();
    s.worst = values.last();
    return s;
}

QString ratio(double value, double floor)
{
    if (floor <= 0)
        return QStringLiteral("-");
    return QString::number(value / floor, 'f', 2) + QLatin1Char('x');
}

QString grouped(int number)
{
    return QLocale(QLocale::English).toString(number);
}

} // namespace Bench

namespace Bench {

QList<int> sizes(const QList<int> &defaults)
{
    const QString listed = qEnvironmentVariable("TALLYMERE_BENCH_SIZES");
    if (listed.trimmed().isEmpty())
        return defaults;
    QList<int> chosen;
    for (const QString &item : listed.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = item.trimmed().toInt(&ok);
        if (ok && n > 0)
            chosen << n;
        else
            std::fprintf(stderr, "TALLYMERE_BENCH_SIZES: \"%s\" is not a size, left out\n", qPrintable(item));
    }
    return chosen.isEmpty() ? defaults : chosen;
}

namespace {

const char *const PgBin = "/usr/lib/postgresql/15/bin";
const QString AdminConnection = QStringLiteral("bench-admin");

// What the signal handler needs to stop the cluster, set aside as plain
// bytes: it may only call what is safe in a handler.
char clusterScript[1024];
char clusterFolder[1024];

void stopCluster()
{
    if (!clusterFolder[0])
        return;
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", clusterScript, "stop", clusterFolder, static_cast<char *>(nullptr));
        _exit(127);
    }
    if (pid > 0) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
}

// An interrupted run leaves no server behind.
void stopOnSignal(int sig)
{
    stopCluster();
    clusterFolder[0] = 0;
    _exit(128 + sig);
}

} // namespace

std::unique_ptr<ServerCluster> ServerCluster::start(QString *why)
{
    if (!QFileInfo(QString::fromLatin1(PgBin)).isDir()) {
        *why = QStringLiteral("PostgreSQL 15 is not installed (no %1)").arg(QString::fromLatin1(PgBin));
        return nullptr;
    }
    // A short path: the socket's has to fit in 107 bytes. The script makes
    // the folder anew and removes it when stopped.
    QTemporaryDir parent(QStringLiteral("/tmp/tallymere-bench-XXXXXX"));
    if (!parent.isValid()) {
        *why = QStringLiteral("no temporary folder for the cluster");
        return nullptr;
    }
    std::unique_ptr<ServerCluster> cluster(new ServerCluster);
    cluster->m_folder = parent.path();
    parent.setAutoRemove(false);
    const QByteArray script = QByteArrayLiteral(PGCLUSTER_SCRIPT), folder = cluster->m_folder.toLocal8Bit();
    qstrncpy(clusterScript, script.constData(), sizeof clusterScript);
    qstrncpy(clusterFolder, folder.constData(), sizeof clusterFolder);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, stopOnSignal);

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("/bin/sh"), {QString::fromLocal8Bit(script), QStringLiteral("start"), cluster->m_folder});
    if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *why = QStringLiteral("the cluster did not start: %1").arg(QString::fromLocal8Bit(process.readAll()).trimmed());
        return nullptr; // the destructor stops what was started
    }
    QFile env(QDir(cluster->m_folder).filePath(QStringLiteral("env")));
    if (!env.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("the cluster wrote no connection options");
        return nullptr;
    }
    const ServerOptions o = parseServerOptions(QString::fromLocal8Bit(env.readAll()).trimmed());
    if (!o.ok()) {
        *why = o.error;
        return nullptr;
    }
    cluster->m_host = o.host;
    cluster->m_port = o.port;
    cluster->m_user = o.user;
    return cluster;
}

ServerCluster::~ServerCluster()
{
    stopCluster();
    clusterFolder[0] = 0;
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, SIG_DFL);
}

QString ServerCluster::options(const QString &database) const
{
    return QStringLiteral("host=%1 port=%2 user=%3 dbname=%4").arg(m_host).arg(m_port).arg(m_user, database);
}

// Each statement on its own (CREATE DATABASE refuses a transaction), on a
// connection to the maintenance database that none of the stores use.
StoreError ServerCluster::administer(const QStringList &statements)
{
    StoreError error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), AdminConnection);
        db.setHostName(m_host);
        db.setPort(m_port);
        db.setUserName(m_user);
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!db.open()) {
            error = db.lastError();
        } else {
            QSqlQuery q(db);
            q.exec(QStringLiteral("SET client_min_messages = warning"));
            for (const QString &sql : statements) {
                if (!q.exec(sql)) {
                    error = q.lastError();
                    break;
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(AdminConnection);
    return error;
}

QString ServerCluster::freshDatabase(const QString &name, StoreError *error)
{
    *error = administer({QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name),
                         QStringLiteral("CREATE DATABASE %1").arg(name)});
    return error->isValid() ? QString() : options(name);
}

void ServerCluster::dropDatabase(const QString &name)
{
    administer({QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name)});
}

namespace {

QString valuesInsert(const QString &table, const QStringList &columns, int rows)
{
    const QString row = QLatin1Char('(') + QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(','))
                        + QLatin1Char(')');
    QStringList quotedColumns;
    for (const QString &c : columns)
        quotedColumns << Schema::quoted(c);
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
        .arg(Schema::quoted(table), quotedColumns.join(QLatin1Char(',')),
             QStringList(rows, row).join(QLatin1Char(',')));
}

StoreError copyRows(QSqlDatabase &source, QSqlDatabase &target, const Schema::Table &table)
{
    QSqlQuery read(source);
    read.setForwardOnly(true);
    QStringList fields;
    for (const QString &f : table.fields)
        fields << Schema::quoted(f);
    if (!read.exec(QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
                       .arg(fields.join(QLatin1Char(',')), Schema::quoted(table.name))))
        return read.lastError();
    const QStringList columns = QStringList{Schema::IdColumn} + table.fields;
    QSqlQuery full(target);
    if (!full.prepare(valuesInsert(table.name, columns, CopyBatch)))
        return full.lastError();
    QVariantList batch;
    batch.reserve(CopyBatch * columns.size());
    const auto flush = [&]() -> StoreError {
        const int rows = int(batch.size() / columns.size());
        if (rows == 0)
            return {};
        QSqlQuery rest(target);
        QSqlQuery &insert = rows == CopyBatch ? full : rest;
        if (rows != CopyBatch && !insert.prepare(valuesInsert(table.name, columns, rows)))
            return insert.lastError();
        for (qsizetype i = 0; i < batch.size(); ++i)
            insert.bindValue(int(i), batch.at(i));
        if (!insert.exec())
            return insert.lastError();
        batch.clear();
        return {};
    };
    while (read.next()) {
        for (int c = 0; c < columns.size(); ++c)
            batch << read.value(c);
        if (batch.size() == CopyBatch * columns.size())
            if (const StoreError error = flush(); error.isValid())
                return error;
    }
    if (read.lastError().isValid())
        return read.lastError();
    return flush();
}

StoreError copyInto(QSqlDatabase &source, QSqlDatabase &target, const Schema::Table &table)
{
    QSqlQuery q(target);
    if (!q.exec(QStringLiteral("DELETE FROM %1").arg(Schema::quoted(table.name))))
        return q.lastError();
    const bool books = table.name == Schema::books().name;
    // A piece row per character of every book would cost far more than the
    // copy itself: the short-text index's trigger is suspended.
    if (books)
        if (const StoreError error = GramTable::suspend(target); error.isValid())
            return error;
    if (const StoreError error = copyRows(source, target, table); error.isValid())
        return error;
    if (books)
        if (const StoreError error = GramTable::resume(target); error.isValid())
            return error;
    // New rows the store adds later take identities after the copied ones.
    for (const QString &sql : ServerSql::followIdentities())
        if (!q.exec(sql))
            return q.lastError();
    return {};
}

} // namespace

StoreError copyToServer(const QString &folder, const QString &connection, const Schema::Table &table, int count)
{
    const StoreLocation server = StoreLocation::server(connection);
    if (StoreError error = Database::install(server); error.isValid())
        return error;
    StoreError error;
    {
        QSqlDatabase source = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FillConnection);
        source.setDatabaseName(StoreLocation::files(folder).path(table.file));
        Database::Connection target(server, table.file);
        if (!source.open())
            error = source.lastError();
        else if (!target.open())
            error = target.lastError();
        QSqlDatabase db = target.database();
        if (!error.isValid()) {
            if (!db.transaction()) {
                error = db.lastError();
            } else if (error = copyInto(source, db, table); error.isValid()) {
                db.rollback();
            } else if (!db.commit()) {
                error = db.lastError();
            }
        }
        QSqlQuery q(db);
        // A freshly written table is vacuumed before it is read: otherwise
        // the first reads pay for marking every row visible, and autovacuum
        // would do it in the middle of the measurements. ANALYZE gives the
        // planner its statistics.
        if (!error.isValid() && !q.exec(QStringLiteral("VACUUM (ANALYZE)")))
            error = q.lastError();
        if (!error.isValid()
            && (!q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(Schema::quoted(table.name))) || !q.next()))
            error = q.lastError();
        if (!error.isValid() && q.value(0).toLongLong() != count)
            error = QSqlError(QString(),
                              QStringLiteral("%1 rows were copied to %2 instead of %3")
                                  .arg(q.value(0).toLongLong())
                                  .arg(table.name)
                                  .arg(count),
                              QSqlError::UnknownError);
        q.finish();
        source.close();
    }
    QSqlDatabase::removeDatabase(FillConnection);
    return error;
}

std::optional<double> timedCopy(const QString &folder, const QString &connection, const Schema::Table &table,
                                int count)
{
    QElapsedTimer clock;
    clock.start();
    if (const StoreError error = copyToServer(folder, connection, table, count); error.isValid()) {
        std::fprintf(stderr, "copying %d rows of %s to the server failed: %s\n", count, qPrintable(table.name),
                     qPrintable(error.text()));
        return std::nullopt;
    }
    return clock.nsecsElapsed() / 1e9;
}

} // namespace Bench
