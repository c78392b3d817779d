#pragma once

#include <QWidget>

// Stands in for a screen that is not part of this build yet: it has the
// screen's name, window kind and size, and its return button.
class PlaceholderScreen : public QWidget
{
    Q_OBJECT
public:
    PlaceholderScreen(const QString &name, const QString &title, QSize size, bool frameless,
                      const QString &returnButton, const QString &returnCaption, QWidget *parent = nullptr);
};
