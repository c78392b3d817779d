// Search as you type on the library books screen, on synthetic catalogues
// of 10,000, 100,000 and 1,000,000 books: words are typed into txtsearch a
// letter at a time, and each keystroke is timed from setting the text to
// the first match standing in the boxes (Text9 showing its book number, or
// every box empty when nothing matches). Beside each keystroke, in the same
// run and on the same table: a bare SELECT rowid FROM books WHERE <field>
// LIKE ? LIMIT 1 with the same text (the plain scan) and, for three letters
// or more, a bare FTS5 trigram MATCH on books_search with LIMIT 1.
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
#include "app/ui/navigationbar.h"
#include "catalogue/booksscreen.h"
#include "store/browsesource.h"
#include "store/database.h"

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
constexpr int SlowestShown = 5;
const QString BareConnection = QStringLiteral("bare");

struct Word {
    QString field;
    QString text;
};

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
        return !screen->adoLib->hasCurrent() && screen->Text9->text().isEmpty();
    return screen->adoLib->hasCurrent() && screen->Text9->text() == Bench::bookNumber(rowid);
}

bool typeWords(BooksScreen *screen, QSqlDatabase &db, int count, const Bench::LoudDialogs &dialogs,
               QList<Keystroke> &keystrokes)
{
    // One word typed first and not counted: the first searches of a
    // process pay for code and caches that later ones find ready.
    screen->cmbSearch->setCurrentIndex(screen->cmbSearch->findText(Words.first().field));
    for (qsizetype letters = 1; letters <= Words.first().text.size(); ++letters)
        screen->txtsearch->setText(Words.first().text.left(letters));

    QSqlQuery like(db), fts(db);
    like.setForwardOnly(true);
    fts.setForwardOnly(true);
    fts.prepare(QStringLiteral("SELECT rowid FROM books_search WHERE books_search MATCH ? LIMIT 1"));
    QString preparedField;
    for (const Word &word : Words) {
        // A fresh word starts from an empty box, then the field is chosen:
        // neither is timed.
        screen->txtsearch->clear();
        screen->cmbSearch->setCurrentIndex(screen->cmbSearch->findText(word.field));
        if (screen->cmbSearch->currentText() != word.field) {
            std::fprintf(stderr, "the search field %s cannot be chosen\n", qPrintable(word.field));
            return false;
        }
        if (preparedField != word.field) {
            like.prepare(QStringLiteral("SELECT rowid FROM books WHERE %1 LIKE ? LIMIT 1")
                             .arg(Schema::quoted(word.field)));
            preparedField = word.field;
        }
        for (qsizetype letters = 1; letters <= word.text.size(); ++letters) {
            Keystroke k;
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
            if (letters >= 3) {
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
            screen->txtsearch->setText(k.text);
            const bool shown = Bench::waitFor([&] { return screenShows(screen, *first); }, 60000);
            k.screenMs = clock.nsecsElapsed() / 1e6;
            if (!shown || dialogs.shown != boxesBefore) {
                std::fprintf(stderr, "after typing \"%s\" in %s the screen shows \"%s\", not %s\n",
                             qPrintable(k.text), qPrintable(word.field), qPrintable(screen->Text9->text()),
                             *first >= 0 ? qPrintable(Bench::bookNumber(*first)) : "nothing");
                return false;
            }
            keystrokes << k;
        }
    }
    screen->txtsearch->clear();
    return true;
}

QString likeOf(const Word &w)
{
    return w.text.isEmpty() ? QStringLiteral("%1 IS NOT NULL").arg(Schema::quoted(w.field))
                            : QStringLiteral("%1 LIKE ?").arg(Schema::quoted(w.field));
}

// The row a step of the bar goes to, by a bare query: after (or before)
// `from` in row order.
std::optional<qint64> bareStep(QSqlDatabase &db, const Word &w, bool later, qint64 from, double &ms)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT rowid FROM books WHERE %1 AND rowid %2 ? ORDER BY rowid %3 LIMIT 1")
                  .arg(likeOf(w), later ? QStringLiteral(">") : QStringLiteral("<"),
                       later ? QStringLiteral("ASC") : QStringLiteral("DESC")));
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

bool clickThrough(BooksScreen *screen, QSqlDatabase &db, int count, const Bench::LoudDialogs &dialogs,
                  QList<Click> &clicks)
{
    const auto button = [screen](const char *name) {
        return screen->adoLibBar->findChild<QToolButton *>(QLatin1String(name));
    };
    for (const Word &w : Browsed) {
        screen->txtsearch->clear();
        screen->cmbSearch->setCurrentIndex(screen->cmbSearch->findText(w.field));
        screen->txtsearch->setText(w.text);
        const QString result = w.text.isEmpty() ? QStringLiteral("every book")
                                                : QStringLiteral("%1 \"%2\"").arg(w.field, w.text);
        qint64 at = 0;
        double ignored = 0;
        if (const std::optional<qint64> first = bareStep(db, w, true, std::numeric_limits<qint64>::min(), ignored))
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
            c.books = count;
            c.result = result;
            c.button = QString::fromLatin1(step.name);
            const qint64 from = step.fromEnd ? (step.later ? std::numeric_limits<qint64>::min()
                                                           : std::numeric_limits<qint64>::max())
                                             : at;
            const std::optional<qint64> target = bareStep(db, w, step.later, from, c.bareMs);
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
                             qPrintable(screen->Text9->text()), qPrintable(Bench::bookNumber(expected)));
                return false;
            }
            at = expected;
            clicks << c;
        }
    }
    screen->txtsearch->clear();
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

std::optional<double> measureSize(int count, QList<Keystroke> &keystrokes, QList<Click> &clicks,
                                  Footprint &footprint)
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const std::optional<double> filled = Bench::timedFill(Bench::fillBooks, folder, count, "books");
    if (!filled)
        return std::nullopt;
    const double fillSeconds = *filled;
    const StoreLocation stores = StoreLocation::files(folder);

    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), BareConnection);
        db.setDatabaseName(stores.path(Schema::File::Transactions));
        QSqlQuery warm(db);
        // One pass over the table and its index before anything is timed.
        if (!db.open() || !warm.exec(QStringLiteral("SELECT count(*), sum(length(\"Title\") + length(\"Author\")) "
                                                    "FROM books"))
            || !warm.exec(QStringLiteral("SELECT count(*) FROM books_search"))) {
            std::fprintf(stderr, "cannot read the store of %d books\n", count);
            ok = false;
        }
        warm.finish();
        ok = ok && measureSizes(db, footprint);
        resetPeakMemory();
        Bench::LoudDialogs dialogs;
        BooksScreen screen(stores);
        Bench::PaintCounter painted;
        screen.installEventFilter(&painted);
        // The field is chosen before the window shows, so the first focus
        // cannot land in an empty search.
        screen.cmbSearch->setCurrentIndex(0);
        screen.show();
        if (ok && (!Bench::waitFor([&] { return painted.paints > 0; }) || dialogs.shown > 0)) {
            std::fprintf(stderr, "the books screen did not open on %d books\n", count);
            ok = false;
        }
        ok = ok && typeWords(&screen, db, count, dialogs, keystrokes);
        ok = ok && clickThrough(&screen, db, count, dialogs, clicks);
        footprint.peakMiB = Bench::peakMemoryMiB();
        screen.close();
        db.close();
    }
    QSqlDatabase::removeDatabase(BareConnection);
    if (!ok)
        return std::nullopt;
    return fillSeconds;
}

QString cell(const Bench::Summary &s)
{
    return QStringLiteral("%1 / %2").arg(s.median, 0, 'f', 2).arg(s.worst, 0, 'f', 2);
}

QString ratios(const Bench::Summary &s, const Bench::Summary &floor)
{
    return Bench::ratio(s.median, floor.median) + QStringLiteral(" / ") + Bench::ratio(s.worst, floor.worst);
}

void printGroups(int count, const QList<Keystroke> &keystrokes)
{
    for (int length = 1; length <= 3; ++length) {
        for (const bool hit : {true, false}) {
            QList<double> screen, like, fts;
            for (const Keystroke &k : keystrokes) {
                if (k.books != count || lengthClass(k.text) != length || k.hit != hit)
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
            std::printf("%10s %8s %6s %5lld %17s %17s %17s %17s %17s%s\n", qPrintable(Bench::grouped(count)),
                        length == 3 ? "3+" : (length == 2 ? "2" : "1"), hit ? "hit" : "miss",
                        static_cast<long long>(screen.size()), qPrintable(cell(s)), qPrintable(cell(l)),
                        qPrintable(ratios(s, l)), fts.isEmpty() ? "-" : qPrintable(cell(f)),
                        fts.isEmpty() ? "-" : qPrintable(ratios(s, f)), qPrintable(note));
        }
    }
}

// The slowest keystrokes of one size among those of one or two letters, or
// among those of three letters or more.
void printSlowest(int count, bool indexed, QList<Keystroke> keystrokes)
{
    keystrokes.removeIf([&](const Keystroke &k) { return k.books != count || (lengthClass(k.text) == 3) != indexed; });
    std::sort(keystrokes.begin(), keystrokes.end(),
              [](const Keystroke &a, const Keystroke &b) { return a.screenMs > b.screenMs; });
    std::printf("  %9s books, %s:", qPrintable(Bench::grouped(count)), indexed ? "3+ letters" : "1-2 letters");
    for (qsizetype i = 0; i < qMin<qsizetype>(SlowestShown, keystrokes.size()); ++i) {
        const Keystroke &k = keystrokes.at(i);
        std::printf("%s %s \"%s\" %.1f (LIKE %.1f", i ? "," : "", qPrintable(k.field), qPrintable(k.text),
                    k.screenMs, k.likeMs);
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
    const QList<int> sizes{10000, 100000, 1000000};
    QList<Keystroke> keystrokes;
    QList<Click> clicks;
    QList<Footprint> footprints;
    QList<double> fillSeconds;
    for (const int count : sizes) {
        Footprint footprint;
        const std::optional<double> filled = measureSize(count, keystrokes, clicks, footprint);
        if (!filled)
            return 1;
        fillSeconds << *filled;
        footprints << footprint;
    }

    QStringList typed;
    for (const Word &w : Words)
        typed << w.field + QLatin1Char(' ') + w.text;
    std::printf("Library books search as you type: from setting txtsearch to the first match in the boxes, in ms,\n"
                "median / worst over the keystrokes of the typed words (%s),\n"
                "beside a bare SELECT rowid FROM books WHERE <field> LIKE ? LIMIT 1 with the same text and, from\n"
                "three letters, a bare FTS5 trigram MATCH ... LIMIT 1 on books_search; ratios median / worst.\n"
                "Goal for every length, hit or miss: %.0f ms or less at the median and %.0f ms at the worst.\n\n",
                qPrintable(typed.join(QStringLiteral(", "))), MedianGoalMs, WorstGoalMs);
    std::printf("%10s %8s %6s %5s %17s %17s %17s %17s %17s\n", "books", "letters", "match", "keys", "screen",
                "bare LIKE", "ratio", "bare FTS5", "ratio");
    for (const int count : sizes)
        printGroups(count, keystrokes);
    std::printf("\nSlowest keystrokes on the screen, in ms, with the bare queries for the same text\n");
    for (const bool indexed : {false, true})
        for (const int count : sizes)
            printSlowest(count, indexed, keystrokes);
    std::printf("\nNavigation bar on a search result: from the click to its row in the boxes, in ms, beside the bare\n"
                "SELECT rowid FROM books WHERE <field> LIKE ? AND rowid >/< ? ORDER BY rowid LIMIT 1 that finds the "
                "same row.\nGoal: %.0f ms or less.\n\n",
                NavigationGoalMs);
    std::printf("%10s %-20s %-9s %10s %10s %8s\n", "books", "result", "button", "screen", "bare", "ratio");
    for (const Click &c : clicks)
        std::printf("%10s %-20s %-9s %10.2f %10.2f %8s%s\n", qPrintable(Bench::grouped(c.books)), qPrintable(c.result),
                    qPrintable(c.button), c.screenMs, c.bareMs, qPrintable(Bench::ratio(c.screenMs, c.bareMs)),
                    c.screenMs > NavigationGoalMs ? "  over the goal" : "");
    std::printf("\nPeak memory while searching (goal: under %.0f MiB) and the store's parts, in MiB\n\n", MemoryGoalMiB);
    std::printf("%10s %10s %10s %10s %10s %12s\n", "books", "peak", "catalogue", "trigram", "short", "indexes/books");
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const Footprint &f = footprints.at(i);
        std::printf("%10s %10.1f %10.1f %10.1f %10.1f %11.2fx%s\n", qPrintable(Bench::grouped(sizes.at(i))), f.peakMiB,
                    f.catalogueMiB, f.trigramMiB, f.shortMiB,
                    f.catalogueMiB > 0 ? (f.trigramMiB + f.shortMiB) / f.catalogueMiB : 0.0,
                    f.peakMiB > MemoryGoalMiB ? "  over the goal" : "");
    }
    std::printf("\nSynthetic catalogues filled in");
    for (qsizetype i = 0; i < sizes.size(); ++i)
        std::printf(" %.1f s (%s books)", fillSeconds.at(i), qPrintable(Bench::grouped(sizes.at(i))));
    std::printf("\n");
    return 0;
}
