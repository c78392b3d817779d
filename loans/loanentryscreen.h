#pragma once

#include "store/engine/location.h"
#include "store/engine/storeerror.h"

#include <QSqlError>
#include <QWidget>

class Dialogs;
class DatePicker;
class Picture;
class PushButton;
class QComboBox;
class QLabel;
class QLineEdit;
class RowSource;

// frmAddRecord: records a new loan as a new row of tblBorrower. Browse mode
// shows the first loan in disabled inputs; Add opens a blank row to fill.
class LoanEntryScreen : public QWidget
{
    Q_OBJECT
public:
    LoanEntryScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent = nullptr);

    // Opens the screen's table; the error when it cannot, and then the
    // screen is not to be shown.
    StoreError openStore();

signals:
    // The main menu is to take the screen's place.
    void menuRequested();

private:
    void createLayout();
    void createButtons();
    void load();

    void add_record();
    void save_record();
    void cancel_record();
    void editnew_validation();
    void normal_validation();
    void setInputsEnabled(bool enabled);
    bool isComplete() const;
    StoreLocation m_stores;
    Dialogs &m_dialogs;

    RowSource *dataBorrow = nullptr;
    Picture *Image1 = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblStatus = nullptr;
    QComboBox *cmbStatus = nullptr;
    QLabel *lblSection = nullptr;
    QComboBox *cmbSection = nullptr;
    QLabel *lblBorrower = nullptr;
    QLineEdit *txtBorrower = nullptr;
    QLabel *lblAccessionNumber = nullptr;
    QLineEdit *txtAccessionNumber = nullptr;
    QLabel *lblBookNumber = nullptr;
    QLineEdit *txtBookNumber = nullptr;
    QLabel *lblBookTitle = nullptr;
    QLineEdit *txtBookTitle = nullptr;
    QLabel *lblCategory = nullptr;
    QComboBox *cmbCategory = nullptr;
    QLabel *lblDateBorrowed = nullptr;
    DatePicker *DTPicker1 = nullptr;
    PushButton *cmdSave = nullptr;
    PushButton *cmdMain = nullptr;
    PushButton *cmdAdd = nullptr;
    PushButton *cmdCancel = nullptr;
};
