#pragma once

#include "store/engine/location.h"
#include "store/engine/storeerror.h"

#include <QSqlError>
#include <QWidget>

class Dialogs;
class DatePicker;
class FramedPanel;
class Picture;
class PushButton;
class QComboBox;
class QLabel;
class QLineEdit;
class RowSource;

// frmRetrieve: finds a loan of tblBorrower by a part of its accession
// number, opens it for editing and stores its return together with the
// overdue penalty (days overdue, and the fine worked out from them).
class ReturnDeskScreen : public QWidget
{
    Q_OBJECT
public:
    ReturnDeskScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent = nullptr);

    // Opens the screen's table; the error when it cannot, and then the
    // screen is not to be shown.
    StoreError openStore();

signals:
    // The main menu is to take the screen's place.
    void menuRequested();

private:
    void createLayout();
    void createTransactionGroup();
    void createPenaltyGroup();
    void createButtons();
    void load();

    void find_record();
    void edit_record();
    void showFoundAgain();
    void save_record();
    void cancel_record();
    void editnew_validation();
    void normal_validation();
    void setInputsEnabled(bool enabled);
    // The overdue-pick rule: "Yes" shows the overdue days and the fine.
    void overdue_pick();
    // The fines rule: the fine follows every change of the overdue days.
    void days_changed();
    // Shows the message of the first check of a save that fails; true
    // when one failed.
    bool refuseIncomplete();
    StoreLocation m_stores;
    Dialogs &m_dialogs;

    RowSource *dataRetrieve = nullptr;
    Picture *Image1 = nullptr;
    QLabel *lblTitle = nullptr;

    // The transaction group.
    FramedPanel *AeroGroupBox2 = nullptr;
    QLabel *lblTransactionDetails = nullptr;
    QLabel *lblStatus = nullptr;
    QComboBox *cmbStatus = nullptr;
    QLabel *lblSection = nullptr;
    QComboBox *cmbSection = nullptr;
    QLabel *lblBorrower = nullptr;
    QLineEdit *txtBorrower = nullptr;
    QLabel *lblAccessionNumber = nullptr;
    QLineEdit *txtAccessionNumber = nullptr;
    QLabel *lblBookTitle = nullptr;
    QLineEdit *txtBookTitle = nullptr;
    QLabel *lblBookNumber = nullptr;
    QLineEdit *txtBookNumber = nullptr;
    QLabel *lblDateBorrowed = nullptr;
    DatePicker *DTPicker1 = nullptr;
    QLabel *lblCategory = nullptr;
    QComboBox *cmbCategory = nullptr;
    QLabel *lblDateReturned = nullptr;
    DatePicker *DTPicker2 = nullptr;
    QLabel *lblRemarks = nullptr;
    QComboBox *cmbRemarks = nullptr;
    QLabel *lblCondition = nullptr;
    QComboBox *cmbCondition = nullptr;

    // The penalty group.
    FramedPanel *AeroGroupBox1 = nullptr;
    QLabel *lblPenalty = nullptr;
    QLabel *lblDaysBorrow = nullptr;
    QLineEdit *txtDaysBorrow = nullptr;
    QLabel *lblOverdueDays = nullptr;
    QComboBox *cmbOverdueDays = nullptr;
    QLabel *lblDays = nullptr;
    QLineEdit *txtdays = nullptr;
    QLabel *lblFines = nullptr;
    QLineEdit *txtfines = nullptr;
    PushButton *cmdFind = nullptr;
    PushButton *cmdEdit = nullptr;
    PushButton *cmdSave = nullptr;
    PushButton *cmdCancel = nullptr;
    PushButton *cmdMain = nullptr;
};
