#include "store/csv.h"

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

Reader::Reader(QIODevice *device) : m_device(device)
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
        m_bytesRead += got;
        // A character cut off by the end of the chunk waits for the next.
        m_pending.append(bytes.constData(), got);
        bool invalid = false;
        const qsizetype valid = validUtf8Length(m_pending, invalid);
        if (invalid)
            return failNotUtf8(QByteArrayView(m_pending).first(valid));
        m_buffer += QString::fromUtf8(m_pending.constData(), valid);
        m_pending.remove(0, valid);
        if (!m_started && !m_buffer.isEmpty()) {
            m_started = true;
            if (m_buffer.at(0) == QChar(0xfeff))
                m_pos = 1;
        }
    }
    return m_buffer.size() - m_pos >= count;
}

bool Reader::next(QStringList &fields)
{
    fields.clear();
    if (!m_error.isEmpty())
        return false;
    // Blank lines between records hold nothing.
    while (ensure(1)) {
        const QChar c = m_buffer.at(m_pos);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            break;
        ++m_pos;
        if (c == QLatin1Char('\r') && ensure(1) && m_buffer.at(m_pos) == QLatin1Char('\n'))
            ++m_pos;
        ++m_line;
    }
    if (!m_error.isEmpty() || !ensure(1))
        return false;

    m_recordLine = m_line;
    QString field;
    bool quotedField = false;
    auto endField = [&] {
        // A bare empty field has no value; a quoted one is an empty text.
        if (field.isEmpty())
            fields << (quotedField ? QString(QLatin1String("")) : QString());
        else
            fields << field;
        field.clear();
        quotedField = false;
    };

    bool inQuotes = false;
    for (;;) {
        if (!ensure(1)) {
            if (!m_error.isEmpty())
                return false;
            if (inQuotes) {
                fields.clear();
                return fail(QStringLiteral("it ends inside the quoted field that begins on line %1")
                                .arg(m_recordLine));
            }
            endField();
            return true;
        }
        if (inQuotes) {
            const qsizetype quote = m_buffer.indexOf(QLatin1Char('"'), m_pos);
            const qsizetype end = quote < 0 ? m_buffer.size() : quote;
            const QStringView run = QStringView(m_buffer).mid(m_pos, end - m_pos);
            m_line += run.count(QLatin1Char('\n'));
            field += run;
            m_pos = end;
            if (quote < 0)
                continue;
            ++m_pos;
            if (ensure(1) && m_buffer.at(m_pos) == QLatin1Char('"')) {
                field += QLatin1Char('"');
                ++m_pos;
            } else {
                inQuotes = false;
            }
            continue;
        }
        qsizetype end = m_pos;
        while (end < m_buffer.size() && !isSpecial(m_buffer.at(end)))
            ++end;
        field += QStringView(m_buffer).mid(m_pos, end - m_pos);
        m_pos = end;
        if (m_pos == m_buffer.size())
            continue;
        const QChar c = m_buffer.at(m_pos++);
        if (c == QLatin1Char('"')) {
            inQuotes = true;
            quotedField = true;
        } else if (c == QLatin1Char(',')) {
            endField();
        } else {
            if (c == QLatin1Char('\r') && ensure(1) && m_buffer.at(m_pos) == QLatin1Char('\n'))
                ++m_pos;
            ++m_line;
            endField();
            return true;
        }
    }
}

} // namespace Csv
