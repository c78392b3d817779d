// The desk's own backups (one a day, the rotation, the list) and the loans
// still out, on a temporary data folder with the clock moved by hand.
#include "storesupport.h"

#include "store/engine/clock.h"
#include "store/engine/csv.h"
#include "store/engine/schema.h"
#include "store/transfer/dailybackup.h"
#include "store/transfer/transfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

namespace {

// A Wednesday: the week before it began on Monday, 30 November.
const QDate Today(2026, 12, 9);

QDateTime at(const QDate &day, int hour)
{
    return QDateTime(day, QTime(hour, 30));
}

// How many days before Today each backup in `parent` was made, newest first.
QList<int> agesIn(const QString &parent)
{
    QList<int> ages;
    for (const DailyBackup::Entry &entry : DailyBackup::list(parent))
        ages << int(entry.made.date().daysTo(Today));
    return ages;
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
}

// A folder in `parent` named as the program names backups, holding a store
// file and whatever `others` names.
QString fakeBackup(const QString &parent, const QDate &day, const QStringList &others = {})
{
    const QString path = QDir(parent).filePath(QStringLiteral("Tallymere-%1-080000").arg(day.toString(Qt::ISODate)));
    QDir().mkpath(path);
    for (const QString &name : QStringList{DeskFile} + others)
        touch(QDir(path).filePath(name));
    return path;
}

// The rows of a CSV file, each joined by "|".
QStringList csvRows(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("cannot read ") + path};
    QStringList rows;
    Csv::Reader reader(&file);
    for (QStringList row; reader.next(row);)
        rows << row.join(QLatin1Char('|'));
    return rows;
}

} // namespace

class DailyBackupTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Clock::set({}); }

    void shouldBackUpOnceADayAndKeepAWeekThenOneAWeek_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("every");
        QTest::addColumn<QList<int>>("kept");
        QTest::newRow("a first day") << 1 << 1 << QList<int>{0};
        QTest::newRow("a week, all kept") << 7 << 1 << QList<int>{0, 1, 2, 3, 4, 5, 6};
        // Each week beyond keeps its newest (its Sunday's, the week before
        // the daily ones its Wednesday's), eight weeks long.
        const QList<int> tenWeeks{0, 1, 2, 3, 4, 5, 6, 7, 10, 17, 24, 31, 38, 45, 52};
        QTest::newRow("every day for ten weeks") << 70 << 1 << tenWeeks;
        QTest::newRow("every day for fifteen weeks: nothing older") << 105 << 1 << tenWeeks;
        QTest::newRow("every third day") << 70 << 3 << QList<int>{0, 3, 6, 9, 12, 18, 24, 33, 39, 45, 54};
    }

    void shouldBackUpOnceADayAndKeepAWeekThenOneAWeek()
    {
        QFETCH(int, days);
        QFETCH(int, every);
        QFETCH(QList<int>, kept);
        // GIVEN a desk started in the morning and again in the afternoon
        // of every day it is used
        TestData data;
        insertLoan(data, QStringLiteral("A-1"));
        const QString parent = DailyBackup::defaultFolder(data.folder());
        for (int age = days - 1; age >= 0; age -= every) {
            const QDate day = Today.addDays(-age);
            const DailyBackup::Outcome morning = DailyBackup::run(data.folder(), at(day, 8));
            const DailyBackup::Outcome afternoon = DailyBackup::run(data.folder(), at(day, 14));
            // THEN the first start of a day makes its backup, the second none
            QVERIFY2(morning.kind == DailyBackup::Outcome::Kind::Made, qPrintable(morning.error));
            QCOMPARE(DailyBackup::madeAt(QFileInfo(morning.folder).fileName()), at(day, 8));
            QVERIFY(afternoon.kind == DailyBackup::Outcome::Kind::NotDue && afternoon.error.isEmpty());
            for (const QString &removed : morning.removed)
                QVERIFY(!QFileInfo::exists(removed));
        }
        // AND only the backups of the last week and one a week before it are left
        QCOMPARE(agesIn(parent), kept);
        QCOMPARE(QFileInfo(parent).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(QDir(parent).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), kept.size());
    }

    void shouldRemoveOnlyWhatItMadeItself()
    {
        TestData data;
        const QString parent = DailyBackup::defaultFolder(data.folder());
        const QString old = fakeBackup(parent, Today.addDays(-300));
        const QString annotated = fakeBackup(parent, Today.addDays(-290), {QStringLiteral("notes.txt")});
        const QStringList others{QStringLiteral("Holiday photos"), QStringLiteral("Tallymere-old"),
                                 QStringLiteral("Tallymere-2020-01-01-000000.zip")};
        QDir().mkpath(QDir(parent).filePath(others.at(0)));
        QDir().mkpath(QDir(parent).filePath(others.at(1)));
        touch(QDir(parent).filePath(others.at(2)));
        touch(QDir(parent).filePath(others.at(0) + QStringLiteral("/beach.jpg")));

        const DailyBackup::Outcome outcome = DailyBackup::run(data.folder(), at(Today, 9));

        QVERIFY(outcome.kind == DailyBackup::Outcome::Kind::Made);
        QCOMPARE(outcome.removed, QStringList{old});
        QVERIFY(!QFileInfo::exists(old));
        // A folder holding a file it did not put there is left whole, and said so.
        QVERIFY(QFileInfo::exists(QDir(annotated).filePath(QStringLiteral("notes.txt"))));
        QVERIFY2(outcome.error.contains(QDir::toNativeSeparators(annotated)), qPrintable(outcome.error));
        for (const QString &name : others)
            QVERIFY2(QFileInfo::exists(QDir(parent).filePath(name)), qPrintable(name));
        QVERIFY(QFileInfo::exists(QDir(parent).filePath(others.at(0) + QStringLiteral("/beach.jpg"))));
    }

    void shouldSayWhyNoBackupWasMade_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("said");
        QTest::newRow("the set folder is not there (a stick pulled out)") << "stick" << "The backup folder %1 is not there.";
        QTest::newRow("the backups folder cannot be made") << "file" << "Cannot create the folder %1.";
        QTest::newRow("a store is missing") << "store" << "There is no store %1 to back up.";
    }

    void shouldSayWhyNoBackupWasMade()
    {
        QFETCH(QString, fault);
        QFETCH(QString, said);
        TestData data;
        QString named = DailyBackup::defaultFolder(data.folder());
        if (fault == QLatin1String("stick")) {
            QTemporaryDir stick;
            QString error;
            QVERIFY2(DailyBackup::setFolder(data.folder(), stick.path(), &error), qPrintable(error));
            named = stick.path();
        } else if (fault == QLatin1String("file")) {
            touch(named);
        } else {
            named = data.path(DeskFile);
            QVERIFY(QFile::remove(named));
        }
        const DailyBackup::Outcome outcome = DailyBackup::run(data.folder(), at(Today, 9));
        QVERIFY(outcome.kind == DailyBackup::Outcome::Kind::Failed);
        QCOMPARE(outcome.error, said.arg(QDir::toNativeSeparators(named)));
        // Nothing was made in its place: the desk's own folder included.
        if (fault == QLatin1String("stick"))
            QVERIFY(!QFileInfo::exists(named) && !QFileInfo::exists(DailyBackup::defaultFolder(data.folder())));
    }

    void shouldGoIntoTheSetFolderAndListItsBackupsNewestFirst()
    {
        TestData data;
        QTemporaryDir stick;
        QString error;
        QVERIFY(!DailyBackup::setFolder(data.folder(), stick.filePath(QStringLiteral("none")), &error));
        QCOMPARE(error, QStringLiteral("There is no folder %1.").arg(stick.filePath(QStringLiteral("none"))));
        const QString noDesk = stick.filePath(QStringLiteral("no-desk"));
        QVERIFY(!DailyBackup::setFolder(noDesk, stick.path(), &error));
        QCOMPARE(error, QStringLiteral("There is no data folder %1.").arg(noDesk));
        QVERIFY(!QFileInfo::exists(noDesk));
        QVERIFY2(DailyBackup::setFolder(data.folder(), stick.path(), &error), qPrintable(error));
        QCOMPARE(DailyBackup::folder(data.folder()), stick.path());

        insertLoan(data, QStringLiteral("A-1"));
        QVERIFY(DailyBackup::run(data.folder(), at(Today.addDays(-1), 9)).kind == DailyBackup::Outcome::Kind::Made);
        insertLoan(data, QStringLiteral("A-2"));
        insertLoan(data, QStringLiteral("A-3"));
        QVERIFY(DailyBackup::run(data.folder(), at(Today, 9)).kind == DailyBackup::Outcome::Kind::Made);

        QList<DailyBackup::Entry> entries = DailyBackup::list(stick.path());
        QCOMPARE(entries.size(), 2);
        QStringList seen;
        for (DailyBackup::Entry &entry : entries) {
            DailyBackup::count(entry);
            QVERIFY2(entry.fault.isEmpty() && entry.bytes > 0, qPrintable(entry.fault));
            seen << QStringLiteral("%1 %2 %3").arg(entry.name).arg(entry.loans).arg(entry.books);
        }
        const int books = data.count(CatalogueFile, QStringLiteral("books"));
        QCOMPARE(seen, (QStringList{QStringLiteral("Tallymere-2026-12-09-093000 3 %1").arg(books),
                                    QStringLiteral("Tallymere-2026-12-08-093000 1 %1").arg(books)}));
    }

    void shouldBackUpOnAThreadOfItsOwnAtTheClocksDay()
    {
        TestData data;
        Clock::set(at(Today, 7));
        DailyBackup::Runner runner(data.folder());
        QSignalSpy finished(&runner, &DailyBackup::Runner::finished);
        runner.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
        QVERIFY(runner.outcome().kind == DailyBackup::Outcome::Kind::Made);
        QCOMPARE(agesIn(DailyBackup::defaultFolder(data.folder())), QList<int>{0});
        runner.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 60000);
        QVERIFY(runner.outcome().kind == DailyBackup::Outcome::Kind::NotDue);
    }

    void shouldTellAFailureOnceADay()
    {
        TestData data;
        QVERIFY(!DailyBackup::failureToldOn(data.folder(), Today));
        DailyBackup::noteFailureTold(data.folder(), Today);
        QVERIFY(DailyBackup::failureToldOn(data.folder(), Today));
        QVERIFY(!DailyBackup::failureToldOn(data.folder(), Today.addDays(1)));
    }

    void shouldExportOnlyTheLoansStillOutOldestFirst_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<QStringList>("rows");
        // Accession number and days out of each row written.
        QTest::newRow("every loan still out") << 0
            << QStringList{"old|40", "remark-empty|30", "lower-case|20", "no-remark|14", "today|0", "no-date|"};
        QTest::newRow("out a fortnight or more") << 14
            << QStringList{"old|40", "remark-empty|30", "lower-case|20", "no-remark|14"};
        QTest::newRow("out longer than any") << 41 << QStringList{};
    }

    void shouldExportOnlyTheLoansStillOutOldestFirst()
    {
        QFETCH(int, days);
        QFETCH(QStringList, rows);
        TestData data;
        const QString insert = QStringLiteral("INSERT INTO tblBorrower (AccessionNumber, DateBorrowed, Remarks,"
                                              " DateReturned) VALUES (?, ?, ?, ?)");
        const auto loan = [&](const QString &accession, int age, const QVariant &remarks, const QVariant &returned) {
            data.exec(DeskFile, insert,
                      {accession, age < 0 ? QVariant(QMetaType::fromType<QString>()) : Today.addDays(-age).toString(Qt::ISODate),
                       remarks, returned});
        };
        const QVariant none(QMetaType::fromType<QString>());
        // One loan for each condition, in an order that is not the oldest first.
        loan(QStringLiteral("no-remark"), 14, none, none);
        loan(QStringLiteral("returned"), 50, QStringLiteral("Returned"), Today.addDays(-45).toString(Qt::ISODate));
        loan(QStringLiteral("today"), 0, QStringLiteral("Not yet Returned"), none);
        loan(QStringLiteral("remark-only"), 60, QStringLiteral("Returned"), none);
        loan(QStringLiteral("date-only"), 55, QStringLiteral("Not yet Returned"), Today.addDays(-1).toString(Qt::ISODate));
        loan(QStringLiteral("no-date"), -1, none, none);
        loan(QStringLiteral("lower-case"), 20, QStringLiteral("returned"), none);
        loan(QStringLiteral("old"), 40, QStringLiteral("Not yet Returned"), none);
        loan(QStringLiteral("remark-empty"), 30, QString(QLatin1String("")), none);
        QTemporaryDir out;
        const QString csv = out.filePath(QStringLiteral("out.csv"));

        const Transfer::Outcome outcome = Transfer::exportLoansOut(data.location(), csv, days, Today);

        QVERIFY2(outcome.ok(), qPrintable(outcome.error));
        QCOMPARE(outcome.rows, rows.size());
        QStringList written = csvRows(csv);
        QVERIFY(!written.isEmpty());
        QCOMPARE(written.takeFirst(), (Schema::borrower().fields + QStringList{QStringLiteral("Days out")}).join('|'));
        QStringList shown;
        for (const QString &row : std::as_const(written))
            shown << row.section('|', 0, 0) + '|' + row.section('|', -1);
        QCOMPARE(shown, rows);
        QCOMPARE(QFileInfo(csv).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
        // Every export of the loans is the owner's alone.
        const QString all = out.filePath(QStringLiteral("all.csv"));
        QVERIFY(Transfer::exportTable(data.location(), Schema::borrower(), all).ok());
        QCOMPARE(QFileInfo(all).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(csvRows(all).size(), 10);
    }
};

QTEST_GUILESS_MAIN(DailyBackupTest)
#include "tst_dailybackup.moc"
