#pragma once

#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

class QIODevice;

// Comma-separated values as RFC 4180 has them: quoted fields, doubled
// quotes inside them, commas and line breaks inside quotes, CRLF or LF,
// UTF-8 with or without a byte-order mark. Nothing outside that is read
// as something else: a quote inside an unquoted field, text after a
// closing quote and a NUL byte are faults, named with their line and field.
//
// An empty field tells "no value" from "an empty text" the way database
// exports do: a bare empty field is a null QString, a quoted one ("") an
// empty but not null QString; line() writes them back the same way.
namespace Csv {

// Splits `text` into rows of fields. A leading byte-order mark is skipped,
// and so are blank lines. Rows end at the first fault.
QList<QStringList> parse(const QString &text);

// One line of `fields`, quoted where needed, ended by CRLF.
QString line(const QStringList &fields);

// Appends one field given as UTF-8 to `out`, quoted where needed; a null
// `utf8` is a missing value. (The separators are ASCII, so the bytes can be
// looked at as they are.)
void appendField(QByteArray &out, QByteArrayView utf8);

// Reads one record at a time from `device`, so that a file of any size is
// read in a small, fixed amount of memory.
class Reader
{
public:
    explicit Reader(QIODevice *device);
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    // The next record, blank lines skipped. False at the end of the input,
    // or on a fault: then errorText() says what is wrong with the input and
    // where, as a clause ("it is not UTF-8 text (line 3)"); the record is
    // then not given at all.
    bool next(QStringList &fields);
    QString errorText() const { return m_error; }
    // The line on which the record last read began, counted from 1.
    qint64 line() const { return m_recordLine; }
    // How many bytes of the device have been read so far.
    qint64 bytesRead() const { return m_bytesRead; }

private:
    enum class After { FieldEnd, RecordEnd, Fault };

    // Makes sure `count` characters lie ahead unless the input ends first.
    bool ensure(qsizetype count);
    bool fail(const QString &text);
    bool failNotUtf8(QByteArrayView validBytes);
    bool failAt(const QString &what, qsizetype field, const QString &hint = QString());
    static bool looksLikeUtf16(QByteArrayView first);
    bool skipBlankLines();
    bool readQuoted(QString &field, qsizetype number);
    bool readBare(QString &field, qsizetype number);
    After readSeparator(qsizetype number);

    QIODevice *m_device;
    // The bytes of a character cut off by the end of the last chunk.
    QByteArray m_pending;
    QStringDecoder m_decoder;
    QString m_buffer;
    qsizetype m_pos = 0;
    bool m_atEnd = false;
    qint64 m_line = 1;
    qint64 m_recordLine = 0;
    qint64 m_bytesRead = 0;
    QString m_error;
};

} // namespace Csv
