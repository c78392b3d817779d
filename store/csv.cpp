#include "store/csv.h"

namespace Csv {

QList<QStringList> parse(const QString &input)
{
    QStringView text(input);
    if (text.startsWith(QChar(0xfeff)))
        text = text.mid(1);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    auto endRow = [&] {
        if (fieldStarted || !row.isEmpty() || !field.isEmpty()) {
            row << field;
            rows << row;
        }
        row.clear();
        field.clear();
        fieldStarted = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            fieldStarted = true;
        } else if (c == QLatin1Char(',')) {
            row << field;
            field.clear();
            fieldStarted = true;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            endRow();
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    endRow();
    return rows;
}

QString line(const QStringList &fields)
{
    // A line with nothing on it is a blank line, which the reader skips: a
    // row of one empty field is written as an empty quoted field instead.
    if (fields.size() == 1 && fields.first().isEmpty())
        return QStringLiteral("\"\"\r\n");
    QStringList out;
    out.reserve(fields.size());
    for (const QString &f : fields) {
        const bool needsQuotes = f.contains(QLatin1Char(',')) || f.contains(QLatin1Char('"'))
                                 || f.contains(QLatin1Char('\n')) || f.contains(QLatin1Char('\r'))
                                 // at the start of a file it would read as a byte-order mark
                                 || f.startsWith(QChar(0xfeff));
        if (!needsQuotes) {
            out << f;
            continue;
        }
        QString doubled = f;
        doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        out << QLatin1Char('"') + doubled + QLatin1Char('"');
    }
    return out.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

} // namespace Csv
