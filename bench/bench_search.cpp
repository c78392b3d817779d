// Search as you type on the library books screen, on synthetic catalogues
// of 10,000, 100,000 and 1,000,000 books (TALLYMERE_BENCH_SIZES chooses
// others), on the SQLite files and, when PostgreSQL 15 is installed, on a
// throwaway server cluster, the catalogue copied from the SQLite one: words are typed into txtsearch a
// letter at a time, and each keystroke is timed from setting the text to
// the first match standing in the boxes (Text9 showing its book number, or
// every box empty when nothing matches). Beside each keystroke, in the same
// run and on the same table: a bare SELECT rowid FROM books WHERE <field>
// LIKE ? LIMIT 1 with the same text (the plain scan) and, for three letters
// or more, a bare FTS5 trigram MATCH on books_search with LIMIT 1. On the
// server the floor is SELECT _id FROM books WHERE <field> ILIKE ? ORDER BY
// _id LIMIT 1, which its trigram indexes may serve.
// Keystrokes are grouped by length (one, two, three or more letters) and by
// whether any book matches. Before the timed words, one is typed untimed.
// Then the navigation bar: on a few search results (every book, a phrase
// nearly every title holds, a common word, a rare one, one letter that no
// title holds), Last, Previous, Next and First are clicked, each timed
// from the click to its row in the boxes, beside the bare query that finds
// that row. Each size also prints the program's peak memory while it
// searched and the sizes of the catalogue and of its search indexes.
#include "app/screens.h"
#include "bench/benchdialogs.h"
#include "bench/benchsupport.h"
#include "catalogue/booksscreen.h"
#include "store/engine/database.h"
#include "store/engine/location.h"
#include "store/engine/storeerror.h"
#include "store/records/browsesource.h"
#include "ui/navigationbar.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

constexpr double MedianGoalMs = 16;
constexpr double WorstGoalMs = 50;
constexpr double NavigationGoalMs = 50;
constexpr double MemoryGoalMiB = 80;
constexpr double RatioGoal = 1.5;
constexpr int SlowestShown = 5;
const QString BareConnection = QStringLiteral("bare");

struct Word {
    QString field;
    QString text;
};

// What the bare queries of one engine are written in.
struct Engine {
    const char *name;
    bool server;

    // The identity rows are ordered by.
    QString key() const { return server ? Schema::quoted(Schema::IdColumn) : QStringLiteral("rowid"); }
    // The engine's plain case-blind match of a LIKE pattern.
    QString like(const QString &field) const
    {
        return QString::fromLatin1(server ? "%1 ILIKE ?" : "%1 LIKE ?").arg(Schema::quoted(field));
    }
    // The first matching book: on SQLite the first the scan meets, in rowid
    // order; the server has to be told the order.
    QString firstMatch(const QString &field) const
    {
        return QStringLiteral("SELECT %1 FROM books WHERE %2%3 LIMIT 1")
            .arg(key(), like(field), server ? QStringLiteral(" ORDER BY ") + key() : QString());
    }
};

const Engine Files{"SQLite", false};
const Engine Server{"server", true};

// Words a librarian might type: common ones, a rare one (only every
// 10,007th title is on ornithology), one whose longer prefixes stop
// matching (histology), and words with letters no title or author holds.
const QList<Word> Words{
    {QStringLiteral("Title"), QStringLiteral("history")},
    {QStringLiteral("Title"), QStringLiteral("chemistry")},
    {QStringLiteral("Title"), QStringLiteral("introduction")},
    {QStringLiteral("Title"), QStringLiteral("manila")},
    {QStringLiteral("Title"), QStringLiteral("ornithology")},
    {QStringLiteral("Title"), QStringLiteral("histology")},
    {QStringLiteral("Title"), QStringLiteral("zebra")},
    {QStringLiteral("Title"), QStringLiteral("quixotic")},
    {QStringLiteral("Title"), QStringLiteral("jazz")},
    {QStringLiteral("Title"), QStringLiteral("xylophone")},
    {QStringLiteral("Author"), QStringLiteral("santos")},
    {QStringLiteral("Author"), QStringLiteral("mitchell")},
    {QStringLiteral("Author"), QStringLiteral("zhang")},
    {QStringLiteral("Author"), QStringLiteral("quinn")},
};

struct Keystroke {
    const char *engine = "";
    int books = 0;
    QString field;
    QString text;
    bool hit = false;
    double screenMs = 0;
    double likeMs = 0;
    double ftsMs = -1; // -1 below three letters
};

// 1, 2 or 3 (three letters or more).
int lengthClass(const QString &text)
{
    return int(qMin<qsizetype>(text.size(), 3));
}

// One click on the navigation bar.
struct Click {
    const char *engine = "";
    int books = 0;
    QString result; // what was searched
    QString button;
    double screenMs = 0;
    double bareMs = 0;
};

// Search results the bar steps through; an empty text shows every book.
const QList<Word> Browsed{
    {QStringLiteral("Title"), QString()},
    {QStringLiteral("Title"), QStringLiteral("o")},
    {QStringLiteral("Title"), QStringLiteral("history")},
    {QStringLiteral("Title"), QStringLiteral("ornithology")},
    {QStringLiteral("Author"), QStringLiteral("q")},
};

struct Footprint {
    const char *engine = "";
    int books = 0;
    double peakMiB = -1;
    double catalogueMiB = 0;
    double trigramMiB = 0;
    double shortMiB = 0;
};

// The first matching rowid, -1 for none; nullopt when the query failed.
std::optional<qint64> timeBare(QSqlQuery &q, const QVariant &param, double &ms)
{
    QElapsedTimer clock;
    clock.start();
    q.bindValue(0, param);
    if (!q.exec())
        return std::nullopt;
    const qint64 rowid = q.next() ? q.value(0).toLongLong() : -1;
    ms = clock.nsecsElapsed() / 1e6;
    if (q.lastError().isValid())
        return std::nullopt;
    q.finish();
    return rowid;
}

// `text` as one FTS5 phrase in column `field`.
QString ftsPhrase(const QString &field, const QString &text)
{
    QString inner = text;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QStringLiteral("%1 : \"%2\"").arg(field, inner);
}

bool screenShows(BooksScreen *screen, qint64 rowid)
{
    if (rowid < 0)
        return !Bench::control<BrowseSource>(screen, "adoLib")->hasCurrent() && Bench::control<QLineEdit>(screen, "Text9")->text().isEmpty();
    return Bench::control<BrowseSource>(screen, "adoLib")->hasCurrent() && Bench::control<QLineEdit>(screen, "Text9")->text() == Bench::bookNumber(rowid);
}

bool typeWords(const Engine &engine, BooksScreen *screen, QSqlDatabase &db, int count,
               const Bench::LoudDialogs &dialogs, QList<Keystroke> &keystrokes)
{
    // One word typed first and not counted: the first searches of a
    // process pay for code and caches that later ones find ready.
    Bench::control<QComboBox>(screen, "cmbSearch")->setCurrentIndex(Bench::control<QComboBox>(screen, "cmbSearch")->findText(Words.first().field));
    for (qsizetype letters = 1; letters <= Words.first().text.size(); ++letters)
        Bench::control<QLineEdit>(screen, "txtsearch")->setText(Words.first().text.left(letters));

    QSqlQuery like(db), fts(db);
    like.setForwardOnly(true);
    fts.setForwardOnly(true);
    if (!engine.server)
        fts.prepare(QStringLiteral("SELECT rowid FROM books_search WHERE books_search MATCH ? LIMIT 1"));
    QString preparedField;
    for (const Word &word : Words) {
        // A fresh word starts from an empty box, then the field is chosen:
        // neither is timed.
        Bench::control<QLineEdit>(screen, "txtsearch")->clear();
        Bench::control<QComboBox>(screen, "cmbSearch")->setCurrentIndex(Bench::control<QComboBox>(screen, "cmbSearch")->findText(word.field));
        if (Bench::control<QComboBox>(screen, "cmbSearch")->currentText() != word.field) {
            std::fprintf(stderr, "the search field %s cannot be chosen\n", qPrintable(word.field));
            return false;
        }
        if (preparedField != word.field) {
            like.prepare(engine.firstMatch(word.field));
            preparedField = word.field;
        }
        for (qsizetype letters = 1; letters <= word.text.size(); ++letters) {
            Keystroke k;
            k.engine = engine.name;
            k.books = count;
            k.field = word.field;
            k.text = word.text.left(letters);
            const std::optional<qint64> first =
                timeBare(like, QLatin1Char('%') + k.text + QLatin1Char('%'), k.likeMs);
            if (!first) {
                std::fprintf(stderr, "the bare LIKE for \"%s\" failed: %s\n", qPrintable(k.text),
                             qPrintable(like.lastError().text()));
                return false;
            }
            if (letters >= 3 && !engine.server) {
                const std::optional<qint64> indexed = timeBare(fts, ftsPhrase(word.field, k.text), k.ftsMs);
                if (indexed != first) {
                    std::fprintf(stderr, "the bare trigram query for \"%s\" found another book than LIKE: %s\n",
                                 qPrintable(k.text), qPrintable(fts.lastError().text()));
                    return false;
                }
            }
            k.hit = *first >= 0;

            const int boxesBefore = dialogs.shown;
            QElapsedTimer clock;
            clock.start();
            Bench::control<QLineEdit>(screen, "txtsearch")->setText(k.text);
            const bool shown = Bench::waitFor([&] { return screenShows(screen, *first); }, 60000);
            k.screenMs = clock.nsecsElapsed() / 1e6;
            if (!shown || dialogs.shown != boxesBefore) {
                std::fprintf(stderr, "after typing \"%s\" in %s the screen shows \"%s\", not %s\n",
                             qPrintable(k.text), qPrintable(word.field), qPrintable(Bench::control<QLineEdit>(screen, "Text9")->text()),
                             *first >= 0 ? qPrintable(Bench::bookNumber(*first)) : "nothing");
                return false;
            }
            keystrokes << k;
        }
    }
    Bench::control<QLineEdit>(screen, "txtsearch")->clear();
    return true;
}

QString likeOf(const Engine &engine, const Word &w)
{
    return w.text.isEmpty() ? QStringLiteral("%1 IS NOT NULL").arg(Schema::quoted(w.field)) : engine.like(w.field);
}

// The row a step of the bar goes to, by a bare query: after (or before)
// `from` in row order.
std::optional<qint64> bareStep(const Engine &engine, QSqlDatabase &db, const Word &w, bool later, qint64 from,
                               double &ms)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %4 FROM books WHERE %1 AND %4 %2 ? ORDER BY %4 %3 LIMIT 1")
                  .arg(likeOf(engine, w), later ? QStringLiteral(">") : QStringLiteral("<"),
                       later ? QStringLiteral("ASC") : QStringLiteral("DESC"), engine.key()));
    if (!w.text.isEmpty())
        q.addBindValue(QLatin1Char('%') + w.text + QLatin1Char('%'));
    q.addBindValue(from);
    QElapsedTimer clock;
    clock.start();
    if (!q.exec())
        return std::nullopt;
    const qint64 rowid = q.next() ? q.value(0).toLongLong() : -1;
    ms = clock.nsecsElapsed() / 1e6;
    return rowid;
}

bool clickThrough(const Engine &engine, BooksScreen *screen, QSqlDatabase &db, int count,
                  const Bench::LoudDialogs &dialogs, QList<Click> &clicks)
{
    const auto button = [screen](const char *name) {
        return Bench::control<NavigationBar>(screen, "adoLibBar")->findChild<QToolButton *>(QLatin1String(name));
    };
    for (const Word &w : Browsed) {
        Bench::control<QLineEdit>(screen, "txtsearch")->clear();
        Bench::control<QComboBox>(screen, "cmbSearch")->setCurrentIndex(Bench::control<QComboBox>(screen, "cmbSearch")->findText(w.field));
        Bench::control<QLineEdit>(screen, "txtsearch")->setText(w.text);
        const QString result = w.text.isEmpty() ? QStringLiteral("every book")
                                                : QStringLiteral("%1 \"%2\"").arg(w.field, w.text);
        qint64 at = 0;
        double ignored = 0;
        if (const std::optional<qint64> first = bareStep(engine, db, w, true, std::numeric_limits<qint64>::min(), ignored))
            at = *first;
        if (!Bench::waitFor([&] { return screenShows(screen, at); }, 60000)) {
            std::fprintf(stderr, "the search for %s does not show its first match\n", qPrintable(result));
            return false;
        }
        struct Step {
            const char *name;
            bool later;
            bool fromEnd;
        };
        for (const Step &step : {Step{"last", false, true}, Step{"previous", false, false}, Step{"next", true, false},
                                 Step{"first", true, true}}) {
            Click c;
            c.engine = engine.name;
            c.books = count;
            c.result = result;
            c.button = QString::fromLatin1(step.name);
            const qint64 from = step.fromEnd ? (step.later ? std::numeric_limits<qint64>::min()
                                                           : std::numeric_limits<qint64>::max())
                                             : at;
            const std::optional<qint64> target = bareStep(engine, db, w, step.later, from, c.bareMs);
            if (!target) {
                std::fprintf(stderr, "the bare step for %s failed\n", qPrintable(result));
                return false;
            }
            // Past either end the bar keeps the row shown.
            const qint64 expected = *target < 0 ? at : *target;
            QToolButton *b = button(step.name);
            const int boxesBefore = dialogs.shown;
            QElapsedTimer clock;
            clock.start();
            b->click();
            const bool shown = Bench::waitFor([&] { return screenShows(screen, expected); }, 60000);
            c.screenMs = clock.nsecsElapsed() / 1e6;
            if (!shown || dialogs.shown != boxesBefore) {
                std::fprintf(stderr, "after %s on %s the screen shows \"%s\", not %s\n", step.name, qPrintable(result),
                             qPrintable(Bench::control<QLineEdit>(screen, "Text9")->text()), qPrintable(Bench::bookNumber(expected)));
                return false;
            }
            at = expected;
            clicks << c;
        }
    }
    Bench::control<QLineEdit>(screen, "txtsearch")->clear();
    return true;
}

// What the catalogue and its indexes take on the server: the table with its
// primary key, the two trigram indexes, the short-text index table whole.
bool measureServerSizes(QSqlDatabase &db, Footprint &f)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT pg_table_size('books') + pg_relation_size('books_pkey'),"
                               " pg_relation_size('books_title_search') + pg_relation_size('books_author_search'),"
                               " pg_total_relation_size('books_grams')"))
        || !q.next())
        return false;
    constexpr double MiB = 1024.0 * 1024.0;
    f.catalogueMiB = q.value(0).toDouble() / MiB;
    f.trigramMiB = q.value(1).toDouble() / MiB;
    f.shortMiB = q.value(2).toDouble() / MiB;
    return true;
}

// The pages each part of the catalogue takes, from SQLite's dbstat.
bool measureSizes(QSqlDatabase &db, Footprint &f)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT name, sum(pgsize) FROM dbstat GROUP BY name")))
        return false;
    while (q.next()) {
        const QString name = q.value(0).toString();
        const double mib = q.value(1).toDouble() / (1024.0 * 1024.0);
        if (name == QLatin1String("books"))
            f.catalogueMiB += mib;
        else if (name.startsWith(QLatin1String("books_search")))
            f.trigramMiB += mib;
        else if (name.startsWith(QLatin1String("books_gram")))
            f.shortMiB += mib;
    }
    return true;
}

// Forgets the peak so far (the fill's), so that the next reading is the
// searches' own.
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Types and clicks on the books screen over `stores`, the bare queries on
// `db`, a connection to the same catalogue.
bool measureEngine(const Engine &engine, const StoreLocation &stores, QSqlDatabase &db, int count,
                   QList<Keystroke> &keystrokes, QList<Click> &clicks, Footprint &footprint)
{
    footprint.engine = engine.name;
    footprint.books = count;
    bool ok = true;
    {
        QSqlQuery warm(db);
        // One pass over the table and its index before anything is timed.
        if (!warm.exec(QStringLiteral("SELECT count(*), sum(length(\"Title\") + length(\"Author\")) FROM books"))
            || (!engine.server && !warm.exec(QStringLiteral("SELECT count(*) FROM books_search")))) {
            std::fprintf(stderr, "cannot read the store of %d books on %s\n", count, engine.name);
            ok = false;
        }
        warm.finish();
        ok = ok && (engine.server ? measureServerSizes(db, footprint) : measureSizes(db, footprint));
        resetPeakMemory();
        Bench::LoudDialogs dialogs;
        BooksScreen screen(stores, dialogs);
        ok = ok && !screen.openStore().isValid();
        Bench::PaintCounter painted;
        screen.installEventFilter(&painted);
        // The field is chosen before the window shows, so the first focus
        // cannot land in an empty search.
        Bench::control<QComboBox>(&screen, "cmbSearch")->setCurrentIndex(0);
        screen.show();
        if (ok && (!Bench::waitFor([&] { return painted.paints > 0; }) || dialogs.shown > 0)) {
            std::fprintf(stderr, "the books screen did not open on %d books\n", count);
            ok = false;
        }
        ok = ok && typeWords(engine, &screen, db, count, dialogs, keystrokes);
        ok = ok && clickThrough(engine, &screen, db, count, dialogs, clicks);
        footprint.peakMiB = Bench::peakMemoryMiB();
        screen.close();
    }
    return ok;
}

struct Fill {
    const char *engine;
    int books;
    double seconds; // on the server: the copy from SQLite
};

// One size on SQLite and, with a cluster, on the server.
bool measureSize(int count, Bench::ServerCluster *cluster, QList<Keystroke> &keystrokes, QList<Click> &clicks,
                 QList<Footprint> &footprints, QList<Fill> &fills)
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const std::optional<double> filled = Bench::timedFill(Bench::fillBooks, folder, count, "books");
    if (!filled)
        return false;
    fills << Fill{Files.name, count, *filled};
    const StoreLocation stores = StoreLocation::files(folder);

    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), BareConnection);
        db.setDatabaseName(stores.path(Schema::File::Transactions));
        Footprint footprint;
        ok = db.open() && measureEngine(Files, stores, db, count, keystrokes, clicks, footprint);
        footprints << footprint;
        db.close();
    }
    QSqlDatabase::removeDatabase(BareConnection);
    if (!ok || !cluster)
        return ok;

    const QString name = QStringLiteral("books_%1").arg(count);
    StoreError error;
    const QString connection = cluster->freshDatabase(name, &error);
    if (connection.isEmpty()) {
        std::fprintf(stderr, "no server database for %d books: %s\n", count, qPrintable(error.text()));
        return false;
    }
    const std::optional<double> copied = Bench::timedCopy(folder, connection, Schema::books(), count);
    ok = bool(copied);
    if (ok) {
        fills << Fill{Server.name, count, *copied};
        const StoreLocation server = StoreLocation::server(connection);
        // Opened as the screen opens its own, the same options set.
        Database::Connection bare(server, Schema::File::Transactions);
        Footprint footprint;
        if (!bare.open()) {
            std::fprintf(stderr, "%s\n", qPrintable(bare.lastError().text()));
            ok = false;
        } else {
            QSqlDatabase db = bare.database();
            ok = measureEngine(Server, server, db, count, keystrokes, clicks, footprint);
        }
        footprints << footprint;
    }
    cluster->dropDatabase(name);
    return ok;
}

QString cell(const Bench::Summary &s)
{
    return QStringLiteral("%1 / %2").arg(s.median, 0, 'f', 2).arg(s.worst, 0, 'f', 2);
}

QString ratios(const Bench::Summary &s, const Bench::Summary &floor)
{
    return Bench::ratio(s.median, floor.median) + QStringLiteral(" / ") + Bench::ratio(s.worst, floor.worst);
}

void printGroups(const char *engine, int count, const QList<Keystroke> &keystrokes)
{
    for (int length = 1; length <= 3; ++length) {
        for (const bool hit : {true, false}) {
            QList<double> screen, like, fts;
            for (const Keystroke &k : keystrokes) {
                if (qstrcmp(k.engine, engine) != 0 || k.books != count || lengthClass(k.text) != length
                    || k.hit != hit)
                    continue;
                screen << k.screenMs;
                like << k.likeMs;
                if (k.ftsMs >= 0)
                    fts << k.ftsMs;
            }
            if (screen.isEmpty())
                continue;
            const Bench::Summary s = Bench::summarize(screen), l = Bench::summarize(like), f = Bench::summarize(fts);
            QString note;
            if (s.median > MedianGoalMs || s.worst > WorstGoalMs)
                note = QStringLiteral("  over the goal");
            // Against the faster of the engine's floors.
            const double floor = fts.isEmpty() ? l.median : qMin(l.median, f.median);
            if (floor > 0 && s.median > RatioGoal * floor)
                note += QStringLiteral("  over %1x").arg(RatioGoal);
            std::printf("%8s %10s %8s %6s %5lld %17s %17s %17s %17s %17s%s\n", engine, qPrintable(Bench::grouped(count)),
                        length == 3 ? "3+" : (length == 2 ? "2" : "1"), hit ? "hit" : "miss",
                        static_cast<long long>(screen.size()), qPrintable(cell(s)), qPrintable(cell(l)),
                        qPrintable(ratios(s, l)), fts.isEmpty() ? "-" : qPrintable(cell(f)),
                        fts.isEmpty() ? "-" : qPrintable(ratios(s, f)), qPrintable(note));
        }
    }
}

// The slowest keystrokes of one size among those of one or two letters, or
// among those of three letters or more.
void printSlowest(const char *engine, int count, bool indexed, QList<Keystroke> keystrokes)
{
    keystrokes.removeIf([&](const Keystroke &k) {
        return qstrcmp(k.engine, engine) != 0 || k.books != count || (lengthClass(k.text) == 3) != indexed;
    });
    if (keystrokes.isEmpty())
        return;
    std::sort(keystrokes.begin(), keystrokes.end(),
              [](const Keystroke &a, const Keystroke &b) { return a.screenMs > b.screenMs; });
    std::printf("  %-6s %9s books, %s:", engine, qPrintable(Bench::grouped(count)),
                indexed ? "3+ letters" : "1-2 letters");
    for (qsizetype i = 0; i < qMin<qsizetype>(SlowestShown, keystrokes.size()); ++i) {
        const Keystroke &k = keystrokes.at(i);
        std::printf("%s %s \"%s\" %.1f (%s %.1f", i ? "," : "", qPrintable(k.field), qPrintable(k.text),
                    k.screenMs, qstrcmp(engine, Server.name) == 0 ? "ILIKE" : "LIKE", k.likeMs);
        if (k.ftsMs >= 0)
            std::printf(", FTS5 %.1f", k.ftsMs);
        std::printf(")");
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    const auto runtime = Bench::ensureRuntimeFolder();
    QApplication app(argc, argv);
    Bench::quietenPlatform();
    prepareApplication(app);
    const QList<int> sizes = Bench::sizes({10000, 100000, 1000000});
    QString skipped;
    const std::unique_ptr<Bench::ServerCluster> cluster = Bench::ServerCluster::start(&skipped);
    QList<Keystroke> keystrokes;
    QList<Click> clicks;
    QList<Footprint> footprints;
    QList<Fill> fills;
    for (const int count : sizes)
        if (!measureSize(count, cluster.get(), keystrokes, clicks, footprints, fills))
            return 1;
    QList<const Engine *> engines{&Files};
    if (cluster)
        engines << &Server;

    QStringList typed;
    for (const Word &w : Words)
        typed << w.field + QLatin1Char(' ') + w.text;
    std::printf("Library books search as you type: from setting txtsearch to the first match in the boxes, in ms,\n"
                "median / worst over the keystrokes of the typed words (%s),\n"
                "beside a bare SELECT rowid FROM books WHERE <field> LIKE ? LIMIT 1 with the same text and, from\n"
                "three letters, a bare FTS5 trigram MATCH ... LIMIT 1 on books_search; on the server beside a bare\n"
                "SELECT _id FROM books WHERE <field> ILIKE ? ORDER BY _id LIMIT 1; ratios median / worst.\n"
                "Goal for every length, hit or miss: %.0f ms or less at the median and %.0f ms at the worst, and\n"
                "on each engine a median within %.1fx of the faster floor's.\n",
                qPrintable(typed.join(QStringLiteral(", "))), MedianGoalMs, WorstGoalMs, RatioGoal);
    if (!cluster)
        std::printf("Server figures skipped: %s\n", qPrintable(skipped));
    std::printf("\n%8s %10s %8s %6s %5s %17s %17s %17s %17s %17s\n", "engine", "books", "letters", "match", "keys",
                "screen", "bare (I)LIKE", "ratio", "bare FTS5", "ratio");
    for (const Engine *engine : engines)
        for (const int count : sizes)
            printGroups(engine->name, count, keystrokes);
    std::printf("\nSlowest keystrokes on the screen, in ms, with the bare queries for the same text\n");
    for (const Engine *engine : engines)
        for (const bool indexed : {false, true})
            for (const int count : sizes)
                printSlowest(engine->name, count, indexed, keystrokes);
    std::printf("\nNavigation bar on a search result: from the click to its row in the boxes, in ms, beside the bare\n"
                "SELECT rowid FROM books WHERE <field> LIKE ? AND rowid >/< ? ORDER BY rowid LIMIT 1 that finds the "
                "same row\n(on the server _id and ILIKE).\nGoal: %.0f ms or less, within %.1fx of the bare query.\n\n",
                NavigationGoalMs, RatioGoal);
    std::printf("%8s %10s %-20s %-9s %10s %10s %8s\n", "engine", "books", "result", "button", "screen", "bare",
                "ratio");
    for (const Engine *engine : engines)
        for (const Click &c : clicks) {
            if (qstrcmp(c.engine, engine->name) != 0)
                continue;
            QString note;
            if (c.screenMs > NavigationGoalMs)
                note = QStringLiteral("  over the goal");
            if (c.bareMs > 0 && c.screenMs > RatioGoal * c.bareMs)
                note += QStringLiteral("  over %1x").arg(RatioGoal);
            std::printf("%8s %10s %-20s %-9s %10.2f %10.2f %8s%s\n", c.engine, qPrintable(Bench::grouped(c.books)),
                        qPrintable(c.result), qPrintable(c.button), c.screenMs, c.bareMs,
                        qPrintable(Bench::ratio(c.screenMs, c.bareMs)), qPrintable(note));
        }
    std::printf("\nPeak memory while searching (goal: under %.0f MiB) and the store's parts, in MiB (on the server:\n"
                "the table with its key, the two trigram indexes, the short-text table with its index)\n\n",
                MemoryGoalMiB);
    std::printf("%8s %10s %10s %10s %10s %10s %12s\n", "engine", "books", "peak", "catalogue", "trigram", "short",
                "indexes/books");
    for (const Engine *engine : engines)
        for (const Footprint &f : footprints) {
            if (qstrcmp(f.engine, engine->name) != 0)
                continue;
            std::printf("%8s %10s %10.1f %10.1f %10.1f %10.1f %11.2fx%s\n", f.engine, qPrintable(Bench::grouped(f.books)),
                        f.peakMiB, f.catalogueMiB, f.trigramMiB, f.shortMiB,
                        f.catalogueMiB > 0 ? (f.trigramMiB + f.shortMiB) / f.catalogueMiB : 0.0,
                        f.peakMiB > MemoryGoalMiB ? "  over the goal" : "");
        }
    std::printf("\nSynthetic catalogues filled in");
    for (const Fill &f : fills)
        if (qstrcmp(f.engine, Files.name) == 0)
            std::printf(" %.1f s (%s books)", f.seconds, qPrintable(Bench::grouped(f.books)));
    std::printf("\n");
    if (cluster) {
        std::printf("Copied to the server (INSERTs of %d rows, one transaction, short-text index filled once\n"
                    "after, VACUUM ANALYZE) in",
                    Bench::CopyBatch);
        for (const Fill &f : fills)
            if (qstrcmp(f.engine, Server.name) == 0)
                std::printf(" %.1f s (%s books)", f.seconds, qPrintable(Bench::grouped(f.books)));
        std::printf("\n");
    }
    return 0;
}
