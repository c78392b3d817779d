#pragma once

#include "store/location.h"

#include <QWidget>

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
    explicit LoanListScreen(const StoreLocation &stores, QWidget *parent = nullptr);

    // Runs the query again; the first loan becomes current.
    void reload();

protected:

private:
    void createLayout();
    void createSource();
    void createMappings();
    void delete_record();
    void print_report();
    void showCurrentInGrid(int row);
    StoreLocation m_stores;

    QuerySource *Adodc1 = nullptr;
    NavigationBar *Adodc1Bar = nullptr;
    FramedPanel *AeroGroupBox1 = nullptr;
    QTableView *DataGrid1 = nullptr;
    PushButton *jcbutton1 = nullptr;
    PushButton *cmdDelete = nullptr;
    PushButton *cmdMain = nullptr;
};
