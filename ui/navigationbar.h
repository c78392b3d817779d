#pragma once

#include <QLabel>
#include <QWidget>

class QToolButton;
class RecordSource;

// The bar of a record source: its caption between first/previous and
// next/last arrows. attach() wires it to any record source.
class NavigationBar : public QWidget
{
    Q_OBJECT
public:
    explicit NavigationBar(const QString &caption, QWidget *parent = nullptr);

    // A failed step is told by the source's readFailed().
    void attach(RecordSource *source);

    QString caption() const { return m_caption->text(); }
    // First, previous, next and last: the order Tab takes them in, for the
    // screen's own tab order.
    QList<QToolButton *> arrows() const { return m_arrows; }

signals:
    void firstClicked();
    void previousClicked();
    void nextClicked();
    void lastClicked();

private:
    QToolButton *arrow(const QString &objectName, const QString &glyph, const QString &tip);
    QLabel *m_caption;
    QList<QToolButton *> m_arrows;
};
