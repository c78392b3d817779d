#pragma once

#include "store/engine/location.h"
#include "store/engine/storeerror.h"

#include <QSqlError>
#include <QWidget>

class Dialogs;
class FramedPanel;
class NavigationBar;
class PushButton;
class QTableView;
class QuerySource;

// frmList: every loan of tblBorrower in a grid, with deletion of the
// selected loan after a confirmation, and the loan report.
class LoanListScreen : public QWidget
{
    Q_OBJECT
public:
    LoanListScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent = nullptr);

    // Opens the screen's table; the error when it cannot, and then the
    // screen is not to be shown.
    StoreError openStore();
    // Runs the query again; the first loan becomes current.
    void reload();

signals:
    // The main menu is to take the screen's place.
    void menuRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createLayout();
    void createButtons();
    void createMappings();
    void delete_record();
    void print_report();
    void showCurrentInGrid(int row);
    void noteReadUnseen();
    StoreLocation m_stores;
    Dialogs &m_dialogs;
    // The rows on hand were read while the screen was not shown.
    bool m_readUnseen = false;

    QuerySource *Adodc1 = nullptr;
    NavigationBar *Adodc1Bar = nullptr;
    FramedPanel *AeroGroupBox1 = nullptr;
    QTableView *DataGrid1 = nullptr;
    PushButton *jcbutton1 = nullptr;
    PushButton *cmdDelete = nullptr;
    PushButton *cmdMain = nullptr;
};
