#include "store/rowsource.h"

#include "app/widgets.h"
#include "store/criterion.h"
#include "store/formats.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSqlQuery>

RowSource::RowSource(Schema::File file, const QString &table, QObject *parent)
    : QObject(parent), m_connection(file), m_table(table)
{
}

RowSource::~RowSource() = default;

void RowSource::bind(QWidget *control, const QString &field)
{
    m_bindings.append({control, field, QVariant()});
    const bool dateField = Schema::isDateField(m_table, field);
    setControlValue(control, hasCurrent() ? m_row.value(fieldName(field)) : QVariant(), dateField);
    m_bindings.last().shown = controlValue(control, dateField);
}

bool RowSource::open()
{
    if (!m_connection.open()) {
        fail(m_connection.lastError());
        return false;
    }
    m_fields = Database::columns(m_connection.database(), m_table);
    if (m_fields.isEmpty()) {
        fail(QSqlError(QStringLiteral("no such table: %1").arg(m_table), QString(),
                       QSqlError::StatementError));
        m_connection.close();
        return false;
    }
    m_lastModified = -1;
    return moveFirst();
}

void RowSource::close()
{
    m_mode = Idle;
    m_written.clear();
    m_current = -1;
    m_row = QSqlRecord();
    m_connection.close();
}

bool RowSource::isOpen() const
{
    return m_connection.isOpen();
}

bool RowSource::ensureOpen()
{
    if (isOpen())
        return true;
    fail(QSqlError(QStringLiteral("The table %1 is not open.").arg(m_table), QString(),
                   QSqlError::ConnectionError));
    return false;
}

void RowSource::fail(const QSqlError &error)
{
    m_error = error;
}

QString RowSource::fieldName(const QString &field) const
{
    for (const QString &f : m_fields)
        if (f.compare(field, Qt::CaseInsensitive) == 0)
            return f;
    return field;
}

bool RowSource::loadRow(qint64 rowid)
{
    QSqlQuery q(m_connection.database());
    q.prepare(QStringLiteral("SELECT * FROM %1 WHERE rowid = ?").arg(Schema::quoted(m_table)));
    q.addBindValue(rowid);
    if (!q.exec()) {
        fail(q.lastError());
        return false;
    }
    if (q.next()) {
        m_current = rowid;
        m_row = q.record();
    } else {
        m_current = -1;
        m_row = QSqlRecord();
    }
    return true;
}

void RowSource::showCurrent()
{
    for (Binding &b : m_bindings) {
        if (!b.control)
            continue;
        const bool dateField = Schema::isDateField(m_table, b.field);
        const QVariant v = (m_mode != Adding && hasCurrent()) ? m_row.value(fieldName(b.field)) : QVariant();
        setControlValue(b.control, v, dateField);
        b.shown = controlValue(b.control, dateField);
    }
    emit currentChanged();
}

// Runs `sql` (which selects one rowid) and makes that row current; with no
// row found the current row stays as it is, unless the table is empty.
bool RowSource::moveTo(const QString &sql, const QVariantList &params)
{
    if (!ensureOpen())
        return false;
    QSqlQuery q(m_connection.database());
    q.prepare(sql.arg(Schema::quoted(m_table)));
    for (const QVariant &p : params)
        q.addBindValue(p);
    if (!q.exec()) {
        fail(q.lastError());
        return false;
    }
    m_mode = Idle;
    m_written.clear();
    if (q.next()) {
        const qint64 rowid = q.value(0).toLongLong();
        q.finish();
        if (!loadRow(rowid))
            return false;
    } else if (hasCurrent()) {
        q.finish();
        if (!loadRow(m_current))
            return false;
    }
    showCurrent();
    return true;
}

bool RowSource::moveFirst()
{
    return moveTo(QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid LIMIT 1"), {});
}

bool RowSource::moveLast()
{
    return moveTo(QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid DESC LIMIT 1"), {});
}

bool RowSource::moveNext()
{
    if (!hasCurrent())
        return moveFirst();
    return moveTo(QStringLiteral("SELECT rowid FROM %1 WHERE rowid > ? ORDER BY rowid LIMIT 1"), {m_current});
}

bool RowSource::movePrevious()
{
    if (!hasCurrent())
        return moveFirst();
    return moveTo(QStringLiteral("SELECT rowid FROM %1 WHERE rowid < ? ORDER BY rowid DESC LIMIT 1"),
                  {m_current});
}

bool RowSource::refresh()
{
    if (!ensureOpen())
        return false;
    m_lastModified = -1;
    m_current = -1;
    return moveFirst();
}

bool RowSource::setBookmark(qint64 bookmark)
{
    if (bookmark < 0)
        return true;
    if (!ensureOpen())
        return false;
    m_mode = Idle;
    m_written.clear();
    const qint64 before = m_current;
    if (!loadRow(bookmark))
        return false;
    if (!hasCurrent() && before >= 0 && !loadRow(before))
        return false;
    showCurrent();
    return true;
}

bool RowSource::findFirst(const QString &criterion)
{
    if (!ensureOpen())
        return false;
    const Criterion::Parsed parsed = Criterion::parse(criterion, m_fields);
    if (!parsed.ok) {
        fail(QSqlError(parsed.error, QString(), QSqlError::StatementError));
        return false;
    }
    QSqlQuery q(m_connection.database());
    q.prepare(QStringLiteral("SELECT rowid FROM %1 WHERE %2 LIKE ? ESCAPE '\\' ORDER BY rowid LIMIT 1")
                  .arg(Schema::quoted(m_table), Schema::quoted(parsed.field)));
    q.addBindValue(parsed.likePattern);
    if (!q.exec()) {
        fail(q.lastError());
        return false;
    }
    m_mode = Idle;
    m_written.clear();
    if (!q.next()) {
        m_noMatch = true;
        return true;
    }
    m_noMatch = false;
    const qint64 rowid = q.value(0).toLongLong();
    q.finish();
    if (!loadRow(rowid))
        return false;
    showCurrent();
    return true;
}

bool RowSource::addNew()
{
    if (!ensureOpen())
        return false;
    if (m_mode == Adding)
        cancelUpdate();
    m_mode = Adding;
    m_written.clear();
    m_beforeAdd = m_current;
    showCurrent();
    return true;
}

bool RowSource::edit()
{
    if (!ensureOpen())
        return false;
    if (m_mode == Idle && hasCurrent())
        m_mode = Editing;
    return true;
}

bool RowSource::update()
{
    if (m_mode == Idle)
        return true;
    if (!ensureOpen())
        return false;

    QStringList columns;
    QVariantList values;
    auto put = [&](const QString &field, const QVariant &value) {
        const QString name = fieldName(field);
        const qsizetype at = columns.indexOf(name);
        if (at >= 0) {
            values[at] = value;
        } else {
            columns << name;
            values << value;
        }
    };
    for (const Binding &b : m_bindings) {
        if (!b.control)
            continue;
        const QVariant now = controlValue(b.control, Schema::isDateField(m_table, b.field));
        if (now != b.shown)
            put(b.field, now);
    }
    for (auto it = m_written.cbegin(); it != m_written.cend(); ++it)
        put(it.key(), it.value());

    QSqlQuery q(m_connection.database());
    if (m_mode == Adding) {
        if (columns.isEmpty()) {
            q.prepare(QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(Schema::quoted(m_table)));
        } else {
            QStringList quotedColumns, marks;
            for (const QString &c : columns) {
                quotedColumns << Schema::quoted(c);
                marks << QStringLiteral("?");
            }
            q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                          .arg(Schema::quoted(m_table), quotedColumns.join(QLatin1Char(',')),
                               marks.join(QLatin1Char(','))));
            for (const QVariant &v : values)
                q.addBindValue(v);
        }
        if (!q.exec()) {
            fail(q.lastError());
            return false;
        }
        m_lastModified = q.lastInsertId().toLongLong();
        q.finish();
        m_mode = Idle;
        m_written.clear();
        const qint64 back = m_beforeAdd;
        m_current = -1;
        if (back >= 0 && !loadRow(back))
            return false;
        showCurrent();
        return true;
    }

    if (!columns.isEmpty()) {
        QStringList sets;
        for (const QString &c : columns)
            sets << Schema::quoted(c) + QStringLiteral(" = ?");
        q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                      .arg(Schema::quoted(m_table), sets.join(QStringLiteral(", "))));
        for (const QVariant &v : values)
            q.addBindValue(v);
        q.addBindValue(m_current);
        if (!q.exec()) {
            fail(q.lastError());
            return false;
        }
        q.finish();
    }
    m_lastModified = m_current;
    m_mode = Idle;
    m_written.clear();
    if (!loadRow(m_current))
        return false;
    showCurrent();
    return true;
}

void RowSource::cancelUpdate()
{
    if (m_mode == Idle)
        return;
    const bool wasAdding = m_mode == Adding;
    m_mode = Idle;
    m_written.clear();
    if (wasAdding)
        m_current = m_beforeAdd;
    if (hasCurrent() && !loadRow(m_current))
        return;
    showCurrent();
}

QVariant RowSource::value(const QString &field) const
{
    if (m_written.contains(field))
        return m_written.value(field);
    if (m_mode == Adding || !hasCurrent())
        return {};
    return m_row.value(fieldName(field));
}

void RowSource::setValue(const QString &field, const QVariant &value)
{
    if (m_mode == Idle)
        return;
    m_written.insert(field, value);
}

QVariant RowSource::controlValue(const QWidget *control, bool dateField)
{
    if (auto picker = qobject_cast<const DatePicker *>(control)) {
        const QDate d = picker->nullableDate();
        if (!d.isValid())
            return QVariant(QMetaType(QMetaType::QString));
        return dateField ? QVariant(Formats::isoDate(d)) : QVariant(d);
    }
    if (auto combo = qobject_cast<const QComboBox *>(control))
        return combo->currentText();
    if (auto edit = qobject_cast<const QLineEdit *>(control))
        return edit->text();
    return {};
}

void RowSource::setControlValue(QWidget *control, const QVariant &value, bool dateField)
{
    if (auto picker = qobject_cast<DatePicker *>(control)) {
        picker->setNullableDate(dateField ? Formats::fromIso(value) : value.toDate());
    } else if (auto combo = qobject_cast<QComboBox *>(control)) {
        const QString text = value.toString();
        const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index >= 0 && !text.isEmpty())
            combo->setCurrentIndex(index);
        else if (combo->isEditable())
            combo->setEditText(text);
    } else if (auto edit = qobject_cast<QLineEdit *>(control)) {
        edit->setText(value.toString());
    }
}
