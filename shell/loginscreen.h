#pragma once

#include "store/location.h"

#include <QWidget>

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
    explicit LoginScreen(const StoreLocation &stores, QWidget *parent = nullptr);

    RowSource *Data1 = nullptr;
    Picture *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtUsername = nullptr;
    QLineEdit *txtPassword = nullptr;
    PushButton *cmdLogin = nullptr;
    QLabel *lblsmall = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void createLayout();
    void createSource();
    void login();
    void confirmExit();
    StoreLocation m_stores;
};
