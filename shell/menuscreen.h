#pragma once

#include <QAbstractButton>
#include <QRect>
#include <QWidget>

class Dialogs;
class QLabel;
class QTimer;
class Picture;

// One picture of a menu item: a rounded band with the item's words, drawn
// in its normal look (light words on grey) or its highlighted look (grey
// words on a light band). A button without the focus, so that assistive
// technology finds it as a button named by its words that it can press,
// while the menu stays worked with the pointer.
class MenuItemPicture : public QAbstractButton
{
    Q_OBJECT
public:
    MenuItemPicture(const QString &words, bool highlighted, QWidget *parent = nullptr);

    QString words() const { return text(); }
    bool isHighlighted() const { return m_highlighted; }

signals:
    void pointerMoved();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    bool m_highlighted;
};

// The hot spot of the menu's exit, drawn by the picture beneath it; a
// button for the same reason as the items.
class MenuExitSpot : public QAbstractButton
{
    Q_OBJECT
public:
    explicit MenuExitSpot(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *) override {}
};

// frmMenu: the picture menu that leads to every feature screen and to the
// closing sequence. Worked with the pointer only.
class MenuScreen : public QWidget
{
    Q_OBJECT
public:
    explicit MenuScreen(Dialogs &dialogs, QWidget *parent = nullptr);

    // The six highlighted pictures, in menu order.
    QList<MenuItemPicture *> highlights() const;

signals:
    // The screen registered as `name` is to take the menu's place.
    void openRequested(const QString &name);
    // The closing sequence is to take the menu's place.
    void exitRequested();

public slots:
    // Timer1: renews the time.
    void tick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // One item: its two pictures (members), their names, its words and place,
    // and the screen it opens, by the name the program registers it under.
    struct MenuItem {
        MenuItemPicture *MenuScreen::*normal;
        MenuItemPicture *MenuScreen::*highlighted;
        const char *normalName;
        const char *highlightedName;
        const char *words;
        QRect place;
        const char *screen;
    };
    static const MenuItem Items[6];

    MenuItemPicture *bgAdd = nullptr;
    MenuItemPicture *bgList = nullptr;
    MenuItemPicture *bgLibbooks = nullptr;
    MenuItemPicture *bgUtility = nullptr;
    MenuItemPicture *bgRetrieve = nullptr;
    MenuItemPicture *bgManage = nullptr;
    MenuItemPicture *mAdd = nullptr;
    MenuItemPicture *mList = nullptr;
    MenuItemPicture *mLibBooks = nullptr;
    MenuItemPicture *mUtility = nullptr;
    MenuItemPicture *mRetrieve = nullptr;
    MenuItemPicture *mManage = nullptr;

    void createLayout();
    void createItems();
    void createExit();
    void load();
    void highlightOnly(MenuItemPicture *shown);
    void clearHighlights();
    void confirmExit();

    Dialogs &m_dialogs;

    Picture *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *lblTime = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *lblDate = nullptr;
    Picture *bigexit = nullptr;
    MenuExitSpot *mexit = nullptr;
    QTimer *Timer1 = nullptr;
};
