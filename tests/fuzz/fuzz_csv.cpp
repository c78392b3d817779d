// The CSV reader on any text; whatever it reads, the writer writes back as
// text the reader reads the same.
#include "store/engine/csv.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QStringList> rows = Csv::parse(text);
    QString written;
    for (const QStringList &row : rows) {
        if (row.isEmpty()) {
            std::fprintf(stderr, "a row without a field\n");
            std::abort();
        }
        written += Csv::line(row);
    }
    if (Csv::parse(written) != rows) {
        std::fprintf(stderr, "rows written do not read back alike:\n%s\n", qPrintable(written));
        std::abort();
    }
    return 0;
}
