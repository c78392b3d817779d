#pragma once

#include "store/engine/location.h"
#include "store/engine/storeerror.h"

#include <QSqlError>
#include <QWidget>

class Dialogs;
class QLabel;
class QLineEdit;
class Picture;
class PushButton;
class RowSource;

// frmLogin: checks the desk account's password and opens the main menu.
class LoginScreen : public QWidget
{
    Q_OBJECT
public:
    LoginScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent = nullptr);

    // Opens the screen's table; the error when it cannot, and then the
    // screen is not to be shown.
    StoreError openStore();

signals:
    // The main menu is to take the screen's place.
    void menuRequested();
    // The program is to end.
    void quitRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void createLayout();
    void login();
    void confirmExit();
    StoreLocation m_stores;
    Dialogs &m_dialogs;

    RowSource *Data1 = nullptr;
    Picture *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtUsername = nullptr;
    QLineEdit *txtPassword = nullptr;
    PushButton *cmdLogin = nullptr;
    QLabel *lblsmall = nullptr;
};
