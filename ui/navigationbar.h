#pragma once

#include <QLabel>
#include <QWidget>

class QToolButton;

// The bar of a record source: its caption between first/previous and
// next/last arrows. attach() wires it to either kind of source.
class NavigationBar : public QWidget
{
    Q_OBJECT
public:
    explicit NavigationBar(const QString &caption, QWidget *parent = nullptr);

    template <typename Source>
    void attach(Source *source)
    {
        connect(this, &NavigationBar::firstClicked, source, [source] { source->moveFirst(); });
        connect(this, &NavigationBar::previousClicked, source, [source] { source->movePrevious(); });
        connect(this, &NavigationBar::nextClicked, source, [source] { source->moveNext(); });
        connect(this, &NavigationBar::lastClicked, source, [source] { source->moveLast(); });
    }

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
