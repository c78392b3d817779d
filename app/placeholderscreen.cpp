#include "app/placeholderscreen.h"

#include "app/ui/navigator.h"
#include "app/ui/theme.h"
#include "app/ui/screennames.h"
#include "app/ui/widgets.h"

#include <QLabel>
#include <QVBoxLayout>

PlaceholderScreen::PlaceholderScreen(const QString &name, const QString &title, QSize size, bool frameless,
                                     const QString &returnButton, const QString &returnCaption, QWidget *parent)
    : QWidget(parent, frameless ? Qt::Window | Qt::FramelessWindowHint : Qt::Window)
{
    setObjectName(name);
    setWindowTitle(title);
    setFixedSize(size);
    setStyleSheet(Theme::screenStyle(QStringLiteral("PlaceholderScreen"), false));
    setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QVBoxLayout(this);
    auto *note = new QLabel(QStringLiteral("This screen is not available yet."), this);
    note->setAlignment(Qt::AlignCenter);
    note->setStyleSheet(Theme::labelStyle(12, false));
    layout->addWidget(note, 1);
    if (!returnButton.isEmpty()) {
        auto *back = new PushButton(returnCaption, this);
        back->setObjectName(returnButton);
        layout->addWidget(back, 0, Qt::AlignRight);
        connect(back, &QPushButton::clicked, this,
                [this] { Navigator::instance().leave(this, ScreenNames::Menu); });
    }
    centerWhenFirstShown(this);
}
