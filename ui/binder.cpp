#include "ui/binder.h"

#include "store/records/recordsource.h"

#include <QLabel>
#include <QMetaProperty>
#include <QWidget>

Binder::Binder(RecordSource *source)
    : QObject(source), m_source(source)
{
    connect(source, &RecordSource::currentChanged, this, &Binder::showCurrent);
    connect(source, &RecordSource::aboutToStore, this, &Binder::handInChanges);
}

void Binder::bind(QWidget *control, const QString &field)
{
    // A message about the field names the box the user typed in.
    m_source->setFieldLabel(field, labelOf(control));
    m_bindings.append({control, field, QVariant()});
    show(m_bindings.last());
}

// What the user knows a control by: the name a screen reader says (which
// tells apart boxes whose labels read alike), else the label naming it.
QString Binder::labelOf(const QWidget *control)
{
    if (!control->accessibleName().isEmpty())
        return control->accessibleName();
    const QWidget *screen = control->window();
    for (const QLabel *label : screen->findChildren<QLabel *>()) {
        if (label->buddy() == control) {
            QString text = label->text().trimmed();
            if (text.endsWith(QLatin1Char(':')))
                text.chop(1);
            return text;
        }
    }
    return {};
}

QVariant Binder::read(const QWidget *control)
{
    const QMetaProperty property = control->metaObject()->userProperty();
    return property.isValid() ? property.read(control) : QVariant();
}

void Binder::show(Binding &binding)
{
    QWidget *control = binding.control;
    if (!control)
        return;
    const QMetaProperty property = control->metaObject()->userProperty();
    if (!property.isValid())
        return;
    // Until a row fills it, a control keeps its initial text ("Select
    // section"); an empty table shows no row to replace it with.
    if (!binding.filled && !m_source->hasRowToShow()) {
        binding.shown = read(control);
        return;
    }
    binding.filled = true;
    QVariant value = m_source->hasCurrent() ? m_source->value(binding.field) : QVariant();
    // An empty field shows as the control's empty value (no text, no date).
    if (value.isNull() || !value.convert(property.metaType()))
        value = QVariant(property.metaType());
    property.write(control, value);
    // What the control shows may differ from what it was given (a list
    // that matched an item, say); a change is measured from what it shows.
    binding.shown = read(control);
}

void Binder::showCurrent()
{
    for (Binding &binding : m_bindings)
        show(binding);
}

void Binder::handInChanges()
{
    for (const Binding &binding : std::as_const(m_bindings)) {
        if (!binding.control)
            continue;
        const QVariant now = read(binding.control);
        if (now != binding.shown)
            m_source->setBoundValue(binding.field, now);
    }
}
