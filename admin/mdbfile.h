#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>

// (Not named MdbFile: mdbtools.h already declares a type of that name.)
// Reads the tables of an old Jet desktop database file (.mdb; also the
// .accdb form that mdbtools can read) through mdbtools' libmdb. Read-only,
// Qt Core only, no widgets. One file at a time; not thread-safe.
//
// The file is checked before libmdb sees it (a regular file, the Jet or ACE
// signature, a known version, a whole number of pages, and every page a
// table uses inside the file), so that a missing, foreign or cut-short file
// gives an error text instead of libmdb's guesses on stderr.
class MdbReader
{
public:
    MdbReader();
    ~MdbReader();
    MdbReader(const MdbReader &) = delete;
    MdbReader &operator=(const MdbReader &) = delete;

    // Opens `path` read-only, closing any file opened before. False, with
    // errorText(), for a missing or unreadable file, one that is not a Jet
    // database, or one whose catalogue cannot be read.
    bool open(const QString &path);
    void close();
    bool isOpen() const;
    QString path() const;

    // What the last failed call found wrong; empty after a call that
    // succeeded.
    QString errorText() const;

    // The user tables (system tables left out), in catalogue order, with
    // their exact names.
    QStringList tables() const;

    // The columns of `table`, in the table's order, with their exact names
    // (inner spaces kept). The table name is matched exactly, or else
    // without regard to letter case as Jet does. Empty, with errorText(),
    // when there is no such table or its definition cannot be read.
    QStringList columns(const QString &table);

    // Reads every row of `table`, one at a time, and calls `row` with its
    // values in columns() order:
    //  - Text and Memo: QString, exactly as stored (any length);
    //  - Byte, Integer, Long Integer: int; Single: float; Double: double;
    //    Currency and Decimal: double; Yes/No: bool;
    //  - Date/Time: QDate when the time of day is 0, else QDateTime whose
    //    date() and time() are the stored wall-clock values (it is held
    //    in UTC so that no daylight-saving gap can move them); a stored
    //    value outside Jet's range of years 100 to 9999 stays a double;
    //  - Replication ID: QUuid; Binary, OLE Object and unknown kinds:
    //    QByteArray;
    //  - NULL: a null QVariant().
    // Stops early, returning true, when `row` returns false. Returns false,
    // with errorText(), when the table is missing or damaged; rows already
    // delivered stay delivered. `row` may call this object again, even
    // readRows() on another table, but not open() or close().
    bool readRows(const QString &table, const std::function<bool(const QVariantList &)> &row);

    // A Jet date/time (days since 30 December 1899, the fraction the time of
    // day, counted forward even for days before 1899) as readRows() gives
    // it; rounded to the millisecond.
    static QVariant fromJetDate(double days);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
