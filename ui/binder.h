#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariant>

class QWidget;
class RecordSource;

// Binds controls to fields of a record source's current row. Each control
// shows its field through its USER property (text of a box or a list,
// the date of a picker, as Qt's QDataWidgetMapper does), and hands its
// value back to the source when the row is stored, if it was changed
// since the row was shown. Any control with a USER property can be bound.
class Binder : public QObject
{
    Q_OBJECT
public:
    explicit Binder(RecordSource *source);

    void bind(QWidget *control, const QString &field);

private:
    struct Binding {
        QPointer<QWidget> control;
        QString field;
        QVariant shown;
        // Whether a row has filled the control yet.
        bool filled = false;
    };

    void showCurrent();
    void handInChanges();
    void show(Binding &binding);
    static QVariant read(const QWidget *control);
    static QString labelOf(const QWidget *control);

    RecordSource *m_source;
    QList<Binding> m_bindings;
};
