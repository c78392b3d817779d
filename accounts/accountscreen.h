#pragma once

#include "store/engine/location.h"
#include "store/engine/storeerror.h"

#include <QSqlError>
#include <QWidget>

class Dialogs;
class NavigationBar;
class Picture;
class PushButton;
class QLabel;
class QLineEdit;
class RowSource;

// frmUser: changes the password, its confirmation and the hint of a desk
// account, one row of tblUser. A confirmed save sends the librarian back to
// the login, so the new password is used from the next log-in on.
class AccountScreen : public QWidget
{
    Q_OBJECT
public:
    AccountScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent = nullptr);

    // Opens the screen's table; the error when it cannot, and then the
    // screen is not to be shown.
    StoreError openStore();
    // Leaves the account as shown, with Edit alone to press: how a save
    // leaves the screen for its next opening, and what Cancel leaves.
    void lockEditing();

signals:
    // The main menu is to take the screen's place.
    void menuRequested();
    // The desk is to start again at the login, as after a new password.
    void restartRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createLayout();
    void createFields();
    void createButtons();
    void load();

    void edit_record();
    void save_record();
    void cancel_record();
    void add_record();
    void lock_passwords();
    void reset_buttons();
    StoreLocation m_stores;
    Dialogs &m_dialogs;

    RowSource *Data1 = nullptr;
    NavigationBar *Data1Bar = nullptr;
    Picture *Image1 = nullptr;
    Picture *Image2 = nullptr;
    QLabel *Label17 = nullptr;
    QLabel *lbluser = nullptr;
    QLineEdit *txtuname = nullptr;
    QLabel *lblAdmin = nullptr;
    QLabel *lblpass = nullptr;
    QLabel *lblnew = nullptr;
    QLineEdit *txtpass = nullptr;
    QLabel *Label12 = nullptr;
    QLineEdit *txtretype = nullptr;
    QLabel *Label15 = nullptr;
    QLineEdit *txthint = nullptr;
    PushButton *cmdEdit = nullptr;
    PushButton *cmdSave = nullptr;
    PushButton *cmdCancel = nullptr;
    PushButton *cmdMain = nullptr;
};
