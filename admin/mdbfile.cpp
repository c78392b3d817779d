#include "admin/mdbfile.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QTime>
#include <QTimeZone>
#include <QUuid>
#include <QtEndian>

#include <mdbtools.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

// How libmdb is used, and why:
// - open() checks the file itself first (signature, version, whole pages)
//   and hands libmdb only what looks like a Jet file.
// - The catalogue (MSysObjects) is read here, row by row, instead of with
//   mdb_read_catalog(): that one also parses every object's property blob,
//   and on a damaged blob it can loop for ever writing warnings to stderr.
//   The properties are not needed to read rows.
// - Before libmdb reads a table, every page the table names (definition,
//   page maps, data pages, the pages of a long Memo or OLE value) must lie
//   inside the file, so that a file cut short fails instead of reading as
//   fewer rows, and a chain of long-value pages must end (libmdb follows it
//   without counting).
// - Rows come from mdb_fetch_row() with nothing bound; each row is then
//   cracked again with mdb_crack_row() to get NULL apart from an empty text
//   and the stored bytes of numbers and dates, which are decoded here: the
//   texts libmdb makes of them follow the C library's locale (a Qt program
//   sets it from the environment: "2,5" in German) and give two-digit years.
// - Texts are converted by libmdb into a buffer sized for the longest UTF-8
//   that the stored bytes can give, so that long Memo texts are not cut.
// - Each read uses its own handle (mdb_clone_handle), sharing the open file,
//   so that the row callback may use the reader again.
// libmdb still writes warnings to stderr on some damaged files; it has no
// switch for that. It never exits the program (version 1.0.0 calls neither
// exit() nor abort()).

namespace {

// The first page of a Jet file: a page-type word, then the engine's name.
constexpr char JetSignature[] = "\x00\x01\x00\x00Standard Jet DB";
constexpr char AceSignature[] = "\x00\x01\x00\x00Standard ACE DB";
constexpr size_t SignatureSize = 4 + 15;
constexpr int VersionOffset = 0x14;
// MSysObjects, the catalogue, has its definition on page 2.
constexpr unsigned long CatalogPage = 2;
// Jet allows 255 columns; more means a damaged definition.
constexpr unsigned int MaxColumns = 255;
constexpr int RowOffsetMask = 0x1fff;
constexpr int MemoOverhead = MDB_MEMO_OVERHEAD;
// Flags of system objects in MSysObjects, as libmdb's mdb_is_user_table().
constexpr quint32 SystemFlags = 0x80000002u;

QString message(const char *text)
{
    return QString::fromUtf8(text);
}

QString fromC(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// The handle's text conversion, whatever MDBICONV says: Jet text to UTF-8.
// The stored side is UCS-2 from Jet 4 on; Jet 3 text is in the file's code
// page, or MDB_JET3_CHARSET, as libmdb itself chooses.
void useUtf8(MdbHandle *mdb)
{
    QByteArray stored = QByteArrayLiteral("UCS-2LE");
    if (mdb->f->jet_version == MDB_VER_JET3) {
        static const struct {
            int page;
            const char *name;
        } pages[] = {
            {874, "WINDOWS-874"},   {932, "SHIFT-JIS"},     {936, "WINDOWS-936"},
            {950, "BIG-5"},         {951, "BIG5-HKSCS"},    {1250, "WINDOWS-1250"},
            {1251, "WINDOWS-1251"}, {1252, "WINDOWS-1252"}, {1253, "WINDOWS-1253"},
            {1254, "WINDOWS-1254"}, {1255, "WINDOWS-1255"}, {1256, "WINDOWS-1256"},
            {1257, "WINDOWS-1257"}, {1258, "WINDOWS-1258"},
        };
        stored = qgetenv("MDB_JET3_CHARSET");
        if (stored.isEmpty()) {
            stored = QByteArrayLiteral("CP1252");
            for (const auto &p : pages) {
                if (p.page == mdb->f->code_page)
                    stored = p.name;
            }
        }
    }
    mdb_iconv_close(mdb);
    mdb->iconv_in = iconv_open("UTF-8", stored.constData());
    mdb->iconv_out = iconv_open(stored.constData(), "UTF-8");
}

struct HandleCloser {
    void operator()(MdbHandle *mdb) const { mdb_close(mdb); }
};
using Handle = std::unique_ptr<MdbHandle, HandleCloser>;

struct TableFreer {
    void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); }
};
using Table = std::unique_ptr<MdbTableDef, TableFreer>;

struct GFreer {
    void operator()(char *text) const { g_free(text); }
};
using GText = std::unique_ptr<char, GFreer>;

// A user table as the catalogue lists it.
struct Catalogued {
    QString name;
    unsigned long page = 0; // of its definition
};

// What libmdb needs to read a table; it must outlive the table's MdbTableDef.
MdbCatalogEntry entryFor(MdbHandle *mdb, const QString &name, unsigned long page)
{
    MdbCatalogEntry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.mdb = mdb;
    entry.object_type = MDB_TABLE;
    entry.table_pg = page;
    const QByteArray utf8 = name.toUtf8().left(MDB_MAX_OBJ_NAME);
    std::memcpy(entry.object_name, utf8.constData(), size_t(utf8.size()));
    return entry;
}

QStringList columnNames(const MdbTableDef *table)
{
    QStringList names;
    for (guint i = 0; i < table->columns->len; ++i)
        names.append(fromC(static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i))->name));
    return names;
}

// One handle on the open file and the file's geometry, which stay valid
// even if the reader is closed while a read goes on.
struct Scan {
    MdbHandle *handle;
    qint64 pageSize;
    qint64 pageCount;

    bool inside(qint64 page) const { return page >= 0 && page < pageCount; }
    Table readTable(MdbCatalogEntry *entry) const;
    bool checkPages(const MdbTableDef *table) const;
    // Calls `row` for each row; false when a row is damaged, with the
    // column's name in `damaged` (empty when the row as a whole is). Only
    // the columns in `wanted` are read when it is given; the others are
    // left null.
    bool readRows(MdbTableDef *table, const std::function<bool(const QVariantList &)> &row, QString &damaged,
                  const QList<qsizetype> &wanted = {}) const;

private:
    bool value(MdbColumn *col, const MdbField &field, QVariant &out) const;
    std::optional<bool> fixedValue(const MdbColumn *col, const MdbField &field, QVariant &out) const;
    QVariant numeric(const MdbColumn *col, int start) const;
    QUuid replicationId(int start) const;
    bool longValueReadable(const MdbField &field) const;
    QString text(const MdbField &field, int type) const;
    bool ole(MdbColumn *col, const MdbField &field, QByteArray &out) const;
};

// Reads a table definition and its columns once its page and the rows of
// its two page maps are known to be in the file (libmdb would read past the
// end, and say so on stderr).
Table Scan::readTable(MdbCatalogEntry *entry) const
{
    const qint64 page = qint64(entry->table_pg);
    if (page < 1 || !inside(page) || mdb_read_pg(handle, page) != pageSize || handle->pg_buf[0] != MDB_PAGE_TABLE)
        return {};
    const MdbFormatConstants *fmt = handle->fmt;
    for (const int offset : {int(fmt->tab_usage_map_offset), int(fmt->tab_free_map_offset)}) {
        const quint32 pageRow = quint32(mdb_get_int32(handle->pg_buf, offset));
        if (!inside(qint64(pageRow >> 8)))
            return {};
    }
    Table table(mdb_read_table(entry));
    if (!table || table->num_cols == 0 || table->num_cols > MaxColumns)
        return {};
    if (!mdb_read_columns(table.get()) || table->columns->len != table->num_cols)
        return {};
    return table;
}

// Every page the table's usage map names must lie inside the file; a file
// cut short at a page boundary is found here instead of reading as fewer
// rows.
bool Scan::checkPages(const MdbTableDef *table) const
{
    unsigned char *map = table->usage_map;
    const size_t size = table->map_sz;
    if (!map || size < 5)
        return false;
    if (map[0] == 0) {
        // An inline bitmap of the pages from a first page on.
        const qint64 first = quint32(mdb_get_int32(map, 1));
        for (size_t byte = 5; byte < size; ++byte) {
            for (int bit = 0; bit < 8; ++bit) {
                if ((map[byte] & (1 << bit)) && !inside(first + qint64(byte - 5) * 8 + bit))
                    return false;
            }
        }
        return true;
    }
    if (map[0] == 1) {
        // A list of map pages, each a bitmap of (page size - 4) * 8 pages.
        const qint64 perMapPage = (pageSize - 4) * 8;
        for (size_t at = 1, index = 0; at + 4 <= size; at += 4, ++index) {
            const qint64 mapPage = quint32(mdb_get_int32(map, int(at)));
            if (mapPage == 0)
                continue;
            if (!inside(mapPage) || mdb_read_alt_pg(handle, mapPage) != pageSize)
                return false;
            const unsigned char *bits = handle->alt_pg_buf + 4;
            for (qint64 i = 0; i < perMapPage; ++i) {
                if ((bits[i / 8] & (1 << (i % 8))) && !inside(qint64(index) * perMapPage + i))
                    return false;
            }
        }
        return true;
    }
    // A kind of map libmdb does not know either: it reads the file page by
    // page instead, and only the pages that the file holds.
    return true;
}

bool Scan::readRows(MdbTableDef *table, const std::function<bool(const QVariantList &)> &row, QString &damaged,
                    const QList<qsizetype> &wanted) const
{
    const guint count = table->columns->len;
    std::vector<MdbField> fields(count);
    QVariantList values;
    values.reserve(count);
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
        // libmdb leaves the row's page in pg_buf: crack the row again.
        int start = 0;
        size_t size = 0;
        if (table->cur_row == 0 || mdb_find_row(handle, int(table->cur_row) - 1, &start, &size) != 0
            || mdb_crack_row(table, start & RowOffsetMask, size, fields.data()) < 0) {
            damaged.clear();
            return false;
        }
        values.clear();
        for (guint i = 0; i < count; ++i) {
            auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
            QVariant v;
            if (!wanted.isEmpty() && !wanted.contains(qsizetype(i))) {
                values.append(v);
                continue;
            }
            if (!value(col, fields[i], v)) {
                damaged = fromC(col->name);
                return false;
            }
            values.append(v);
        }
        if (!row(values))
            break;
    }
    return true;
}

// A Memo or OLE value kept on other pages names its first page in its
// header; those pages must be in the file, and a chain of them must end
// (libmdb follows it without counting).
bool Scan::longValueReadable(const MdbField &field) const
{
    if (field.siz < MemoOverhead)
        return true; // libmdb reads it as empty
    const quint32 header = quint32(mdb_get_int32(handle->pg_buf, field.start));
    quint32 pageRow = quint32(mdb_get_int32(handle->pg_buf, field.start + 4));
    if (header & 0x80000000u)
        return true; // kept in the row itself
    if (header & 0x40000000u)
        return inside(qint64(pageRow >> 8)); // on one other page
    QSet<quint32> seen;
    while (pageRow != 0) {
        if (!inside(qint64(pageRow >> 8)) || seen.contains(pageRow))
            return false;
        seen.insert(pageRow);
        void *buf = nullptr;
        int start = 0;
        size_t length = 0;
        if (mdb_find_pg_row(handle, int(pageRow), &buf, &start, &length) != 0)
            return false;
        if (length < 4)
            return true; // libmdb stops there
        pageRow = quint32(mdb_get_int32(buf, start));
    }
    return true;
}

QString Scan::text(const MdbField &field, int type) const
{
    // libmdb converts into a buffer of its bind size: make room for the
    // longest UTF-8 the stored bytes can give (three bytes for each
    // character of two) so that no text is cut.
    qint64 stored = field.siz;
    if (type == MDB_MEMO && field.siz >= MemoOverhead) {
        const quint32 header = quint32(mdb_get_int32(handle->pg_buf, field.start));
        if (header & 0x80000000u)
            stored = field.siz - MemoOverhead;
        else if (header & 0x40000000u)
            stored = pageSize;
        else
            stored = header & 0x00ffffffu;
    }
    const size_t room = size_t(std::max<qint64>(MDB_BIND_SIZE, 3 * stored + 16));
    mdb_set_bind_size(handle, room);
    const GText converted(mdb_col_to_string(handle, handle->pg_buf, field.start, type, field.siz));
    mdb_set_bind_size(handle, MDB_BIND_SIZE);
    return fromC(converted.get());
}

bool Scan::ole(MdbColumn *col, const MdbField &field, QByteArray &out) const
{
    unsigned char header[MemoOverhead];
    std::memcpy(header, handle->pg_buf + field.start, MemoOverhead);
    const qsizetype declared = qsizetype(quint32(mdb_get_int32(header, 0)) & 0x3fffffffu);
    // libmdb copies each piece (at most a page) into the bound buffer; the
    // column is bound only for this.
    std::vector<char> piece(size_t(pageSize) + 16);
    col->bind_ptr = piece.data();
    col->cur_value_start = field.start;
    col->cur_value_len = field.siz;
    size_t length = mdb_ole_read(handle, col, header, piece.size());
    out = QByteArray(piece.data(), qsizetype(std::min(length, piece.size())));
    // Follow the chain of pages no further than the file and the declared
    // length allow.
    for (qint64 pieces = 0; pieces < pageCount * 256 && out.size() < declared; ++pieces) {
        length = mdb_ole_read_next(handle, col, header);
        if (length == 0)
            break;
        out.append(piece.data(), qsizetype(std::min(length, piece.size())));
    }
    col->bind_ptr = nullptr;
    if (out.size() > declared)
        out.truncate(declared);
    return true;
}

bool Scan::value(MdbColumn *col, const MdbField &field, QVariant &out) const
{
    if (col->col_type == MDB_BOOL) {
        // A Yes/No value is its null bit: set is Yes.
        out = !field.is_null;
        return true;
    }
    if (field.is_null) {
        out = QVariant();
        return true;
    }
    if (field.start < 0 || field.siz < 0 || qint64(field.start) + field.siz > pageSize)
        return false;
    if (const std::optional<bool> read = fixedValue(col, field, out))
        return *read;
    switch (col->col_type) {
    case MDB_TEXT:
        out = text(field, col->col_type);
        return true;
    case MDB_MEMO:
        if (!longValueReadable(field))
            return false;
        out = text(field, col->col_type);
        return true;
    case MDB_OLE: {
        if (field.siz < MemoOverhead || qint64(field.start) + MemoOverhead > pageSize || !longValueReadable(field))
            return false;
        QByteArray bytes;
        if (!ole(col, field, bytes))
            return false;
        out = bytes;
        return true;
    }
    default:
        out = QByteArray(reinterpret_cast<const char *>(handle->pg_buf + field.start), field.siz);
        return true;
    }
}

// A value of a fixed-size type: whether it could be read (false when the
// field is shorter than its type, or runs off the page); nothing for the
// other types.
std::optional<bool> Scan::fixedValue(const MdbColumn *col, const MdbField &field, QVariant &out) const
{
    const int start = field.start;
    const auto fits = [&](int bytes) { return field.siz >= bytes && qint64(start) + bytes <= pageSize; };
    unsigned char *buf = handle->pg_buf;
    switch (col->col_type) {
    case MDB_BYTE:
        if (!fits(1))
            return false;
        out = int(mdb_get_byte(buf, start));
        return true;
    case MDB_INT:
        if (!fits(2))
            return false;
        out = int(qint16(mdb_get_int16(buf, start)));
        return true;
    case MDB_LONGINT:
    case MDB_COMPLEX:
        if (!fits(4))
            return false;
        out = int(qint32(mdb_get_int32(buf, start)));
        return true;
    case MDB_FLOAT:
        if (!fits(4))
            return false;
        out = mdb_get_single(buf, start);
        return true;
    case MDB_DOUBLE:
        if (!fits(8))
            return false;
        out = mdb_get_double(buf, start);
        return true;
    case MDB_MONEY:
        // Whole ten-thousandths in a little-endian 64-bit integer.
        if (!fits(8))
            return false;
        out = double(qFromLittleEndian<qint64>(buf + start)) / 10000.0;
        return true;
    case MDB_DATETIME:
        if (!fits(8))
            return false;
        out = MdbReader::fromJetDate(mdb_get_double(buf, start));
        return true;
    case MDB_NUMERIC:
        if (!fits(17))
            return false;
        out = numeric(col, start);
        return true;
    case MDB_REPID:
        if (!fits(16))
            return false;
        out = replicationId(start);
        return true;
    default:
        return std::nullopt;
    }
}

QVariant Scan::numeric(const MdbColumn *col, int start) const
{
    const GText number(mdb_numeric_to_string(handle, start, col->col_scale, col->col_prec));
    bool ok = false;
    const double v = QLocale::c().toDouble(fromC(number.get()), &ok);
    return ok ? QVariant(v) : QVariant(fromC(number.get()));
}

QUuid Scan::replicationId(int start) const
{
    const unsigned char *b = handle->pg_buf + start;
    return QUuid(quint32(mdb_get_int32(handle->pg_buf, start)), quint16(mdb_get_int16(handle->pg_buf, start + 4)),
                 quint16(mdb_get_int16(handle->pg_buf, start + 6)), b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                 b[15]);
}

} // namespace

struct MdbReader::Private {
    Handle mdb;
    QString path;
    QString error;
    QList<Catalogued> tables;
    qint64 pageSize = 0;
    qint64 pageCount = 0;

    bool fail(const QString &text)
    {
        error = text;
        return false;
    }

    const Catalogued *find(const QString &name) const
    {
        for (const Catalogued &table : tables) {
            if (table.name == name)
                return &table;
        }
        for (const Catalogued &table : tables) {
            if (table.name.compare(name, Qt::CaseInsensitive) == 0)
                return &table;
        }
        return nullptr;
    }

    bool readCatalogue(const Scan &scan);
};

MdbReader::MdbReader()
    : d(std::make_unique<Private>())
{
}

MdbReader::~MdbReader() = default;

bool MdbReader::open(const QString &path)
{
    close();
    d->error.clear();

    const QFileInfo info(path);
    if (!info.exists())
        return d->fail(message("The file %1 does not exist.").arg(path));
    if (!info.isFile())
        return d->fail(message("%1 is not a file.").arg(path));
    QFile file(info.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return d->fail(message("The file %1 cannot be read: %2").arg(path, file.errorString()));
    const QByteArray head = file.read(VersionOffset + 1);
    const qint64 size = file.size();
    file.close();

    if (head.size() < VersionOffset + 1
        || (!head.startsWith(QByteArrayView(JetSignature, SignatureSize))
            && !head.startsWith(QByteArrayView(AceSignature, SignatureSize))))
        return d->fail(message("The file %1 is not a Jet database.").arg(path));
    const int version = static_cast<unsigned char>(head.at(VersionOffset));
    if (version > MDB_VER_ACCDB_2019)
        return d->fail(
            message("The file %1 is a Jet database of an unknown version (%2).").arg(path).arg(version));
    const qint64 pageSize = version == MDB_VER_JET3 ? 2048 : 4096;
    if (size < qint64(CatalogPage + 1) * pageSize || size % pageSize != 0)
        return d->fail(
            message("The file %1 is not a whole number of database pages: it is damaged or cut short.").arg(path));

    // An absolute path: libmdb looks a name it cannot find up in $MDBPATH.
    Handle mdb(mdb_open(QFile::encodeName(info.absoluteFilePath()).constData(), MDB_NOFLAGS));
    if (!mdb)
        return d->fail(message("The file %1 cannot be opened as a Jet database.").arg(path));
    useUtf8(mdb.get());

    d->mdb = std::move(mdb);
    d->path = path;
    d->pageSize = pageSize;
    d->pageCount = size / pageSize;
    if (!d->readCatalogue(Scan{d->mdb.get(), d->pageSize, d->pageCount})) {
        const QString error = message("The catalogue of %1 cannot be read: the file is damaged or cut short.")
                                  .arg(path);
        close();
        return d->fail(error);
    }
    return true;
}

// The user tables listed in MSysObjects, the table defined on page 2, with
// its columns Id (the definition's page), Name, Type (1 for a table) and
// Flags (system objects), as libmdb's own catalogue reading takes them. Its
// other columns (object properties and the like) are not read.
bool MdbReader::Private::readCatalogue(const Scan &scan)
{
    MdbCatalogEntry objects = entryFor(scan.handle, QStringLiteral("MSysObjects"), CatalogPage);
    const Table table = scan.readTable(&objects);
    if (!table || !scan.checkPages(table.get()))
        return false;
    const QStringList columns = columnNames(table.get());
    const auto column = [&](const char *wanted) {
        for (qsizetype i = 0; i < columns.size(); ++i) {
            if (columns.at(i).compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0)
                return i;
        }
        return qsizetype(-1);
    };
    const qsizetype id = column("Id");
    const qsizetype name = column("Name");
    const qsizetype type = column("Type");
    const qsizetype flags = column("Flags");
    if (id < 0 || name < 0 || type < 0 || flags < 0)
        return false;

    QList<Catalogued> found;
    QString damaged;
    const bool read = scan.readRows(table.get(), [&](const QVariantList &row) {
        if (row.at(type).toInt() == MDB_TABLE && !(quint32(row.at(flags).toInt()) & SystemFlags)
            && !row.at(name).toString().isEmpty())
            found.append({row.at(name).toString(),
                          static_cast<unsigned long>(quint32(row.at(id).toInt()) & 0x00ffffffu)});
        return true;
    }, damaged, {id, name, type, flags});
    if (!read)
        return false;
    tables = found;
    return true;
}

void MdbReader::close()
{
    d->mdb.reset();
    d->path.clear();
    d->tables.clear();
    d->pageSize = 0;
    d->pageCount = 0;
}

bool MdbReader::isOpen() const
{
    return d->mdb != nullptr;
}

QString MdbReader::path() const
{
    return d->path;
}

QString MdbReader::errorText() const
{
    return d->error;
}

QStringList MdbReader::tables() const
{
    QStringList names;
    for (const Catalogued &table : d->tables)
        names.append(table.name);
    return names;
}

QStringList MdbReader::columns(const QString &table)
{
    d->error.clear();
    if (!d->mdb) {
        d->fail(message("No database is open."));
        return {};
    }
    const Catalogued *found = d->find(table);
    if (!found) {
        d->fail(message("There is no table %1 in %2.").arg(table, d->path));
        return {};
    }
    const Scan scan{d->mdb.get(), d->pageSize, d->pageCount};
    MdbCatalogEntry entry = entryFor(scan.handle, found->name, found->page);
    const Table def = scan.readTable(&entry);
    if (!def) {
        d->fail(message("The definition of table %1 in %2 cannot be read: the file is damaged.")
                    .arg(found->name, d->path));
        return {};
    }
    return columnNames(def.get());
}

bool MdbReader::readRows(const QString &table, const std::function<bool(const QVariantList &)> &row)
{
    d->error.clear();
    if (!d->mdb)
        return d->fail(message("No database is open."));
    const Catalogued *found = d->find(table);
    if (!found)
        return d->fail(message("There is no table %1 in %2.").arg(table, d->path));
    // Copies: `row` may close this reader or open another file.
    const Catalogued catalogued = *found;
    const QString path = d->path;

    // A handle of its own (sharing the open file) keeps this read's pages
    // apart from whatever `row` asks of this reader meanwhile.
    const Handle handle(mdb_clone_handle(d->mdb.get()));
    if (!handle)
        return d->fail(message("The file %1 cannot be read.").arg(path));
    useUtf8(handle.get());
    const Scan scan{handle.get(), d->pageSize, d->pageCount};
    MdbCatalogEntry entry = entryFor(handle.get(), catalogued.name, catalogued.page);
    const Table def = scan.readTable(&entry);
    if (!def)
        return d->fail(message("The definition of table %1 in %2 cannot be read: the file is damaged.")
                           .arg(catalogued.name, path));
    if (!scan.checkPages(def.get()))
        return d->fail(message("Table %1 of %2 lies partly beyond the end of the file: it is damaged or cut short.")
                           .arg(catalogued.name, path));
    QString damaged;
    if (!scan.readRows(def.get(), row, damaged)) {
        if (damaged.isEmpty())
            return d->fail(message("A row of table %1 in %2 cannot be read: the file is damaged.")
                               .arg(catalogued.name, path));
        return d->fail(message("Column %1 of a row of table %2 in %3 cannot be read: the file is damaged.")
                           .arg(damaged, catalogued.name, path));
    }
    return true;
}

QVariant MdbReader::fromJetDate(double days)
{
    // Jet's range: 1 January 100 to 31 December 9999.
    if (!std::isfinite(days) || days <= -657435.0 || days >= 2958466.0)
        return days;
    const double whole = std::trunc(days);
    qint64 day = qint64(whole);
    qint64 ms = std::llround(std::fabs(days - whole) * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        day += 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(day);
    if (ms == 0)
        return date;
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)), QTimeZone::utc());
}
