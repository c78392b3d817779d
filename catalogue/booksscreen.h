#pragma once

#include "store/engine/location.h"
#include "store/engine/storeerror.h"

#include <QSqlError>
#include <QWidget>

class Dialogs;
class FramedPanel;
class NavigationBar;
class PushButton;
class QComboBox;
class QLabel;
class QLineEdit;
class BrowseSource;

// frmBooks: the catalogue searched as the librarian types, by title or by
// author, one book at a time in read-only fashion (nothing typed in the
// boxes is ever stored), with the printed catalogue.
class BooksScreen : public QWidget
{
    Q_OBJECT
public:
    BooksScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent = nullptr);

    // Opens the screen's table; the error when it cannot, and then the
    // screen is not to be shown.
    StoreError openStore();

signals:
    // The main menu is to take the screen's place.
    void menuRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // One labelled box of the details: the member it lives in, its name, the
    // field it shows and its caption.
    struct Detail {
        QLineEdit *BooksScreen::*box;
        const char *name;
        const char *field;
        const char *caption;
    };
    // Two columns of seven, top to bottom.
    static const Detail LeftColumn[7];
    static const Detail RightColumn[7];

    QLineEdit *Text9 = nullptr;  // BookNumber
    QLineEdit *Text11 = nullptr; // Date received
    QLineEdit *Text10 = nullptr; // Classification
    QLineEdit *Text22 = nullptr; // Author
    QLineEdit *Text21 = nullptr; // Title
    QLineEdit *Text20 = nullptr; // Edition
    QLineEdit *Text19 = nullptr; // Vol
    QLineEdit *Text18 = nullptr; // Pages
    QLineEdit *Text17 = nullptr; // Source of Fund
    QLineEdit *Text16 = nullptr; // Cost or (in Peso)
    QLineEdit *Text15 = nullptr; // Publisher
    QLineEdit *Text14 = nullptr; // Year
    QLineEdit *Text13 = nullptr; // Remarks
    QLineEdit *Text12 = nullptr; // ISBN

    void createLayout();
    void createDetails(const QString &labelStyle, const QFont &boxFont);
    void createButtons();
    void createMappings();

    static bool isRefusedListKey(const QKeyEvent *event);
    // False when the box has sent the focus away again.
    bool searchBoxEntered(Qt::FocusReason reason);
    void search();
    void print_report();

    bool m_warning = false;
    StoreLocation m_stores;
    Dialogs &m_dialogs;

    BrowseSource *adoLib = nullptr;
    NavigationBar *adoLibBar = nullptr;
    FramedPanel *AeroGroupBox1 = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblSearch = nullptr;
    QComboBox *cmbSearch = nullptr;
    QLineEdit *txtsearch = nullptr;
    PushButton *cmdPrint = nullptr;
    PushButton *cmdMain = nullptr;
};
