// The Jet file reader on damaged files. A random file is almost never taken
// for a Jet database, so most inputs are changes to a real one (the fixture
// fruit.mdb): the first byte chooses, then
//   0: the rest of the input is the whole file;
//   1: pieces written over the fixture, each as a 4-byte offset, a length
//      byte and that many bytes;
//   2: the same, then the file cut to the length the first 4 bytes name.
// Every table is read as the import reads it: tables, columns, then rows.
#include "admin/mdbfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const QByteArray &fixture()
{
    static const QByteArray bytes = [] {
        QFile file(QStringLiteral(FUZZ_FIXTURE));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", FUZZ_FIXTURE);
            std::abort();
        }
        return file.readAll();
    }();
    return bytes;
}

quint32 word(const uint8_t *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

QByteArray fileFor(const uint8_t *data, size_t size)
{
    const int mode = data[0] % 3;
    ++data;
    --size;
    if (mode == 0)
        return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray file = fixture();
    qsizetype cut = file.size();
    if (mode == 2 && size >= 4) {
        cut = qsizetype(word(data) % quint32(file.size() + 1));
        data += 4;
        size -= 4;
    }
    while (size >= 5) {
        const qsizetype at = qsizetype(word(data) % quint32(file.size()));
        const size_t length = std::min<size_t>(data[4], size - 5);
        const qsizetype fits = std::min<qsizetype>(qsizetype(length), file.size() - at);
        std::memcpy(file.data() + at, data + 5, size_t(fits));
        data += 5 + length;
        size -= 5 + length;
    }
    file.truncate(cut);
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    static QTemporaryFile *file = [] {
        auto *made = new QTemporaryFile(QDir::temp().filePath(QStringLiteral("fuzz_mdb-XXXXXX.mdb")));
        if (!made->open())
            std::abort();
        return made;
    }();
    const QByteArray bytes = fileFor(data, size);
    if (!file->resize(0) || !file->seek(0) || file->write(bytes) != bytes.size() || !file->flush())
        std::abort();

    MdbReader reader;
    if (!reader.open(file->fileName())) {
        if (reader.errorText().isEmpty())
            std::abort();
        return 0;
    }
    for (const QString &table : reader.tables()) {
        const QStringList columns = reader.columns(table);
        if (columns.isEmpty())
            continue;
        // Enough rows to reach every page of the fixture's tables.
        int rows = 0;
        reader.readRows(table, [&](const QVariantList &values) {
            if (values.size() != columns.size())
                std::abort();
            return ++rows < 5000;
        });
    }
    return 0;
}
