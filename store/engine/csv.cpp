#include "store/engine/csv.h"

#include <QBuffer>
#include <QIODevice>

namespace Csv {

namespace {

constexpr qint64 ChunkBytes = 64 * 1024;

bool isSpecial(QChar c)
{
    return c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

// The length of the longest start of `bytes` made of whole, valid UTF-8
// characters. `invalid` tells whether an invalid byte ends it, rather than
// a character cut off by the end of `bytes`.
qsizetype validUtf8Length(QByteArrayView bytes, bool &invalid)
{
    invalid = false;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const uchar lead = uchar(bytes.at(i));
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // The second byte's range also rules out overlong forms, surrogates
        // and code points beyond U+10FFFF.
        int length = 0;
        uchar low = 0x80, high = 0xbf;
        if (lead >= 0xc2 && lead <= 0xdf)
            length = 2;
        else if (lead >= 0xe0 && lead <= 0xef)
            length = 3, low = lead == 0xe0 ? 0xa0 : 0x80, high = lead == 0xed ? 0x9f : 0xbf;
        else if (lead >= 0xf0 && lead <= 0xf4)
            length = 4, low = lead == 0xf0 ? 0x90 : 0x80, high = lead == 0xf4 ? 0x8f : 0xbf;
        if (length == 0) {
            invalid = true;
            return i;
        }
        for (int k = 1; k < length; ++k) {
            if (i + k >= bytes.size())
                return i;
            const uchar b = uchar(bytes.at(i + k));
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xbf)) {
                invalid = true;
                return i;
            }
        }
        i += length;
    }
    return i;
}

// Line breaks as the reader counts them: LF, CRLF and a lone CR.
qint64 lineBreaks(QStringView text)
{
    qint64 breaks = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\n')
            || (text.at(i) == QLatin1Char('\r') && (i + 1 == text.size() || text.at(i + 1) != QLatin1Char('\n'))))
            ++breaks;
    }
    return breaks;
}

} // namespace

QList<QStringList> parse(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    Reader reader(&buffer);
    QList<QStringList> rows;
    QStringList row;
    while (reader.next(row))
        rows << row;
    return rows;
}

QString line(const QStringList &fields)
{
    // A line with nothing on it is a blank line, which the reader skips: a
    // row of one empty field is written as an empty quoted field instead.
    if (fields.size() == 1 && fields.first().isEmpty())
        return QStringLiteral("\"\"\r\n");
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        const QString &f = fields.at(i);
        const QByteArray bytes = f.toUtf8();
        if (f.isNull())
            appendField(out, QByteArrayView());
        else
            appendField(out, bytes.isEmpty() ? QByteArrayView("", 0) : QByteArrayView(bytes));
    }
    out += "\r\n";
    return QString::fromUtf8(out);
}

void appendField(QByteArray &out, QByteArrayView utf8)
{
    if (utf8.isNull())
        return;
    // At the start of a file a leading byte-order mark would be skipped.
    bool needsQuotes = utf8.isEmpty() || utf8.startsWith("\xEF\xBB\xBF");
    for (const char c : utf8) {
        if (c == ',' || c == '"' || c == '\n' || c == '\r') {
            needsQuotes = true;
            break;
        }
    }
    if (!needsQuotes) {
        out += utf8;
        return;
    }
    out += '"';
    qsizetype from = 0;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8.at(i) == '"') {
            out += utf8.sliced(from, i + 1 - from);
            out += '"';
            from = i + 1;
        }
    }
    out += utf8.sliced(from);
    out += '"';
}

Reader::Reader(QIODevice *device) : m_device(device), m_decoder(QStringDecoder::Utf8)
{
}

bool Reader::failNotUtf8(QByteArrayView validBytes)
{
    // The fault lies past everything decoded so far: its line is the line
    // being read plus the breaks still ahead of it.
    const QString ahead = m_buffer.mid(m_pos) + QString::fromUtf8(validBytes.data(), validBytes.size());
    const qint64 line = m_line + lineBreaks(ahead);
    return fail(QStringLiteral("it is not UTF-8 text (line %1)").arg(line));
}

bool Reader::fail(const QString &text)
{
    m_error = text;
    m_atEnd = true;
    m_buffer.clear();
    m_pos = 0;
    return false;
}

// "it has <what> field 2 on line 3<hint>"; fields are counted from 1.
bool Reader::failAt(const QString &what, qsizetype field, const QString &hint)
{
    return fail(QStringLiteral("it has %1 field %2 on line %3%4").arg(what).arg(field + 1).arg(m_line).arg(hint));
}

// UTF-16 text of ASCII letters has a NUL beside every letter, which is
// valid UTF-8 and would otherwise be refused as a NUL in the first field.
bool Reader::looksLikeUtf16(QByteArrayView first)
{
    return first.size() >= 2 && (first.at(0) == 0) != (first.at(1) == 0);
}

bool Reader::ensure(qsizetype count)
{
    while (m_buffer.size() - m_pos < count && !m_atEnd) {
        // What lies behind the reading position has been copied out already.
        if (m_pos > 0) {
            m_buffer.remove(0, m_pos);
            m_pos = 0;
        }
        QByteArray bytes(ChunkBytes, Qt::Uninitialized);
        const qint64 got = m_device->read(bytes.data(), ChunkBytes);
        if (got < 0)
            return fail(QStringLiteral("it cannot be read (%1)").arg(m_device->errorString()));
        if (got == 0) {
            m_atEnd = true;
            if (!m_pending.isEmpty())
                return failNotUtf8({});
            break;
        }
        if (m_bytesRead == 0 && looksLikeUtf16(QByteArrayView(bytes).first(got)))
            return fail(QStringLiteral("it is UTF-16 text; save it as UTF-8 first"));
        m_bytesRead += got;
        // A character cut off by the end of the chunk waits for the next.
        m_pending.append(bytes.constData(), got);
        bool invalid = false;
        const qsizetype valid = validUtf8Length(m_pending, invalid);
        if (invalid)
            return failNotUtf8(QByteArrayView(m_pending).first(valid));
        // One decoder for the whole input: only the byte-order mark that
        // begins the file is skipped, never a U+FEFF that begins a chunk.
        m_buffer += m_decoder.decode(QByteArrayView(m_pending).first(valid));
        m_pending.remove(0, valid);
    }
    return m_buffer.size() - m_pos >= count;
}

bool Reader::skipBlankLines()
{
    while (ensure(1)) {
        const QChar c = m_buffer.at(m_pos);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            return true;
        ++m_pos;
        if (c == QLatin1Char('\r') && ensure(1) && m_buffer.at(m_pos) == QLatin1Char('\n'))
            ++m_pos;
        ++m_line;
    }
    return false;
}

// The text of a quoted field up to its closing quote, which is consumed;
// a doubled quote is one quote of the text. Line breaks inside count.
bool Reader::readQuoted(QString &field, qsizetype number)
{
    const qint64 firstLine = m_line;
    bool afterCr = false;
    for (;;) {
        if (!ensure(1)) {
            if (m_error.isEmpty())
                fail(QStringLiteral("it ends inside the quoted field that begins on line %1").arg(firstLine));
            return false;
        }
        qsizetype end = m_pos;
        for (; end < m_buffer.size(); ++end) {
            const QChar c = m_buffer.at(end);
            if (c == QLatin1Char('"') || c.isNull())
                break;
            // LF, CRLF and a lone CR each end one line.
            if (c == QLatin1Char('\r') || (c == QLatin1Char('\n') && !afterCr))
                ++m_line;
            afterCr = c == QLatin1Char('\r');
        }
        field += QStringView(m_buffer).mid(m_pos, end - m_pos);
        m_pos = end;
        if (m_pos == m_buffer.size())
            continue;
        if (m_buffer.at(m_pos).isNull())
            return failAt(QStringLiteral("a NUL byte in"), number);
        ++m_pos;
        if (!ensure(1) || m_buffer.at(m_pos) != QLatin1Char('"'))
            return m_error.isEmpty();
        field += QLatin1Char('"');
        ++m_pos;
        afterCr = false;
    }
}

// The text of an unquoted field, up to the separator after it.
bool Reader::readBare(QString &field, qsizetype number)
{
    while (ensure(1)) {
        qsizetype end = m_pos;
        while (end < m_buffer.size() && !isSpecial(m_buffer.at(end)) && !m_buffer.at(end).isNull())
            ++end;
        field += QStringView(m_buffer).mid(m_pos, end - m_pos);
        m_pos = end;
        if (m_pos == m_buffer.size())
            continue;
        if (m_buffer.at(m_pos) == QLatin1Char('"'))
            return failAt(QStringLiteral("a quote inside the unquoted"), number);
        return true;
    }
    return m_error.isEmpty();
}

// After a field: a comma, a line break, or the end of the input.
Reader::After Reader::readSeparator(qsizetype number)
{
    if (!ensure(1))
        return m_error.isEmpty() ? After::RecordEnd : After::Fault;
    const QChar c = m_buffer.at(m_pos);
    if (c == QLatin1Char(',')) {
        ++m_pos;
        return After::FieldEnd;
    }
    if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
        ++m_pos;
        if (c == QLatin1Char('\r') && ensure(1) && m_buffer.at(m_pos) == QLatin1Char('\n'))
            ++m_pos;
        ++m_line;
        return m_error.isEmpty() ? After::RecordEnd : After::Fault;
    }
    if (c.isNull())
        failAt(QStringLiteral("a NUL byte in"), number);
    else
        failAt(QStringLiteral("text after the closing quote of"), number,
               QStringLiteral(" (a quote inside a quoted field is written twice)"));
    return After::Fault;
}

bool Reader::next(QStringList &fields)
{
    fields.clear();
    if (!m_error.isEmpty() || !skipBlankLines())
        return false;
    m_recordLine = m_line;
    for (;;) {
        const qsizetype number = fields.size();
        // A bare empty field has no value; a quoted one is an empty text.
        QString field;
        bool read = false;
        if (ensure(1) && m_buffer.at(m_pos) == QLatin1Char('"')) {
            ++m_pos;
            field = QLatin1String("");
            read = readQuoted(field, number);
        } else {
            read = m_error.isEmpty() && readBare(field, number);
        }
        const After after = read ? readSeparator(number) : After::Fault;
        if (after == After::Fault) {
            fields.clear();
            return false;
        }
        fields << field;
        if (after == After::RecordEnd)
            return true;
    }
}

} // namespace Csv
