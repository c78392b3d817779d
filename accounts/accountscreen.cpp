#include "accounts/accountscreen.h"

#include "store/engine/storeerror.h"
#include "store/records/rowsource.h"
#include "ui/binder.h"
#include "ui/dialogs.h"
#include "ui/form.h"
#include "ui/navigationbar.h"
#include "ui/navigator.h"
#include "ui/theme.h"
#include "ui/widgets.h"

#include <QSqlError>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

namespace {

// The screen is laid out in twips, as it was drawn: 15 twips to a pixel.
constexpr int px(int twips) { return twips / 15; }

QRect place(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

constexpr int BoxWidth = 3615;
constexpr int BoxHeight = 375;
constexpr int ButtonWidth = 2055;
constexpr int ButtonHeight = 495;
constexpr int FieldLabelHeight = 240;
constexpr int ColumnRight = 4680 + BoxWidth;

} // namespace

AccountScreen::AccountScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_stores(stores), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Form1"));
    centerWhenFirstShown(this);
    createLayout();
}

void AccountScreen::createLayout()
{
    setFixedSize(px(9015), px(5985));

    Image1 = new Picture(QStringLiteral(":/assets/account.svg"), this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAccessibleName(QStringLiteral("Administrators account background"));
    Image1->setGeometry(rect());

    Image2 = new Picture(QStringLiteral(":/assets/accountkey.svg"), this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setAccessibleName(QStringLiteral("Desk account key"));
    Image2->setGeometry(px(270), (height() - px(3375)) / 2, px(3375), px(3375));

    Label17 = new QLabel(QStringLiteral("ADMINISTRATORS ACCOUNT"), this);
    Label17->setObjectName(QStringLiteral("Label17"));
    Label17->setGeometry(place(4200, 360, 9015 - 4200 - 180, 420));
    Label17->setStyleSheet(Theme::labelStyle(Theme::screenFace(), 13, true, Theme::ink(), 1));

    createFields();
    createButtons();
}

void AccountScreen::createFields()
{
    const QString fieldLabelStyle = Theme::labelStyle(Theme::gothicFace(), 7.5, true, Theme::ink(), 1);
    // A field's label reaches from its left edge to the column's right one.
    auto label = [&](const char *name, const QString &caption, int left, int top) {
        return Form::Label{name, caption, fieldLabelStyle, place(left, top, ColumnRight - left, FieldLabelHeight)};
    };
    auto box = [&](QLineEdit *member, int top, const QString &face, bool masked) {
        member->setGeometry(place(4680, top, BoxWidth, BoxHeight));
        member->setStyleSheet(Theme::boxStyle(face, 10, 1, masked));
        if (masked)
            member->setEchoMode(QLineEdit::Password);
    };

    Form::labelled(lbluser, label("lbluser", QStringLiteral("USERNAME"), 4680, 1080), txtuname, "txtuname", this);
    box(txtuname, 1320, Theme::screenFace(), false);

    lblAdmin = new QLabel(QStringLiteral("Administrator Account"), this);
    lblAdmin->setObjectName(QStringLiteral("lblAdmin"));
    lblAdmin->setGeometry(place(5160, 1200, ColumnRight - 5160, 420));
    lblAdmin->setStyleSheet(Theme::labelStyle(Theme::myriadFace(), 12, true));

    // Two labels for the password box: the one shown while editing asks for
    // the new password.
    lblpass = Form::label(label("lblpass", QStringLiteral("PASSWORD"), 4605, 1785), this);
    Form::labelled(lblnew, label("lblnew", QStringLiteral("INPUT YOUR NEW PASSWORD"), 4560, 1800), txtpass, "txtpass",
                   this);
    box(txtpass, 2040, Theme::candaraFace(), true);
    lblpass->setBuddy(txtpass);

    Form::labelled(Label12, label("Label12", QStringLiteral("CONFIRM PASSWORD"), 4635, 2535), txtretype, "txtretype",
                   this);
    box(txtretype, 2760, Theme::candaraFace(), true);

    Form::labelled(Label15, label("Label15", QStringLiteral("HINT"), 4650, 3240), txthint, "txthint", this);
    box(txthint, 3480, Theme::candaraFace(), false);

    Data1Bar = new NavigationBar(QStringLiteral("Data1"), this);
    Data1Bar->setObjectName(QStringLiteral("Data1Bar"));
    // The bar styles itself as it is made; polished first, it takes the new
    // style sheet in full instead of rules cached from its own.
    Data1Bar->ensurePolished();
    Data1Bar->setStyleSheet(Theme::compactNavigationBarStyle());
    // Against the right edge, as drawn, but wide enough for four arrows a
    // pointer can hit and the whole caption between them.
    Data1Bar->setGeometry(place(7080, 4080, 9015 - 7080 - 45, 360));
}

void AccountScreen::createButtons()
{
    auto button = [&](PushButton *&member, const char *name, const QString &caption, int left, int top) {
        member = new PushButton(caption, this);
        member->setObjectName(QLatin1String(name));
        member->setGeometry(place(left, top, ButtonWidth, ButtonHeight));
    };
    button(cmdEdit, "cmdEdit", QStringLiteral("Edit"), 4200, 4680);
    button(cmdSave, "cmdSave", QStringLiteral("Save"), 6480, 4680);
    button(cmdCancel, "cmdCancel", QStringLiteral("Cancel"), 4200, 5280);
    button(cmdMain, "cmdMain", QStringLiteral("Main Menu"), 6480, 5280);

    // Bottom up, from the buttons through the boxes to the bar's arrows.
    Form::setTabOrder({cmdEdit, cmdSave, cmdCancel, cmdMain, txthint, txtretype, txtpass, txtuname},
                      Data1Bar->arrows());

    connect(cmdEdit, &QPushButton::clicked, this, &AccountScreen::edit_record);
    connect(cmdSave, &QPushButton::clicked, this, &AccountScreen::save_record);
    connect(cmdCancel, &QPushButton::clicked, this, &AccountScreen::cancel_record);
    connect(cmdMain, &QPushButton::clicked, this, &AccountScreen::menuRequested);
    // Enter in a box saves, as the login's Enter logs in.
    for (QLineEdit *box : {txtuname, txtpass, txtretype, txthint})
        connect(box, &QLineEdit::returnPressed, cmdSave, &QPushButton::click);
}

StoreError AccountScreen::openStore()
{
    Data1 = new RowSource(m_stores, QStringLiteral("tblUser"), this);
    Data1->setObjectName(QStringLiteral("Data1"));
    Data1->setCaption(QStringLiteral("Data1"));
    auto *binder = new Binder(Data1);
    binder->bind(txtuname, QStringLiteral("Username"));
    binder->bind(txtpass, QStringLiteral("Password"));
    binder->bind(txtretype, QStringLiteral("Confirm"));
    binder->bind(txthint, QStringLiteral("Hint"));
    // Moving to another row drops an open edit; nothing reaches the store
    // but a confirmed save.
    Data1Bar->attach(Data1);
    connect(Data1, &RecordSource::readFailed, this, [this](const StoreError &error) { m_dialogs.showDatabaseError(error); });
    if (!Data1->open())
        return Data1->lastError();
    load();
    return {};
}

void AccountScreen::load()
{
    lblAdmin->hide();
    lblnew->hide();
}

void AccountScreen::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    cmdEdit->setFocus(Qt::OtherFocusReason);
}

void AccountScreen::add_record()
{
    txtuname->setEnabled(false);
    txtpass->setEnabled(true);
    txtretype->setEnabled(true);
    cmdSave->setEnabled(true);
}

void AccountScreen::lock_passwords()
{
    txtpass->setEnabled(false);
    txtretype->setEnabled(false);
}

void AccountScreen::reset_buttons()
{
    cmdEdit->setEnabled(true);
    cmdSave->setEnabled(false);
    cmdCancel->setEnabled(false);
}

// What Cancel leaves, and what a save leaves for the next opening: nothing
// enables Cancel again until the screen is opened afresh.
void AccountScreen::lockEditing()
{
    reset_buttons();
    lock_passwords();
    cmdEdit->setEnabled(true);
    cmdSave->setEnabled(false);
    cmdCancel->setEnabled(false);
}

void AccountScreen::edit_record()
{
    if (txtuname->text() == QStringLiteral("Administrator")) {
        m_dialogs.message(QStringLiteral("Only Password can edit"), Dialogs::applicationTitle(),
                          Dialogs::Information, Dialogs::Ok);
        txtuname->hide();
    }
    // With no account in the table there is no row to edit; the screen
    // still changes over, and Save stores nothing.
    if (!Data1->edit()) {
        m_dialogs.showDatabaseError(Data1->lastError());
        return;
    }
    lblnew->show();
    lblpass->hide();
    lbluser->hide();
    txtuname->hide();
    lblAdmin->show();
    add_record();
    // Only the boxes are emptied: the row itself keeps its values until a
    // confirmed save.
    txtpass->clear();
    txtretype->clear();
    txthint->clear();
    txtpass->setFocus(Qt::OtherFocusReason);
}

void AccountScreen::save_record()
{
    // Passwords are compared and stored exactly as typed: letter case and
    // spaces count, as they do at the login.
    const QString password = txtpass->text();
    const QString confirm = txtretype->text();
    const QString hint = txthint->text();
    if (confirm.isEmpty() || password.isEmpty() || hint.isEmpty()) {
        m_dialogs.message(QStringLiteral("Incomplete Information!"), QStringLiteral("Admin account"), Dialogs::NoIcon,
                          Dialogs::Ok);
        return;
    }
    if (password == hint) {
        m_dialogs.message(QStringLiteral("You password and passwordhint must not be the same"),
                          QStringLiteral("Password"), Dialogs::Information, Dialogs::Ok);
        txthint->clear();
        return;
    }
    if (password != confirm) {
        m_dialogs.message(QStringLiteral("password not match"), QStringLiteral("admin account"), Dialogs::Information,
                          Dialogs::Ok);
        return;
    }
    // An empty account table has no row to change: nothing to confirm, and
    // no success to report.
    if (!Data1->hasCurrent()) {
        m_dialogs.beep();
        return;
    }
    if (m_dialogs.message(QStringLiteral("Are you sure you want to save changes?"), QStringLiteral("Save Changes"),
                          Dialogs::Question, Dialogs::YesNo)
        != Dialogs::AnswerYes)
        return;

    // A refused store keeps the row open with what was typed, so the save
    // can be tried again; the login is only shown once the row is stored.
    if (!Data1->edit()) {
        m_dialogs.showDatabaseError(Data1->lastError());
        return;
    }
    Data1->setValue(QStringLiteral("Confirm"), confirm);
    Data1->setValue(QStringLiteral("Password"), password);
    Data1->setValue(QStringLiteral("Hint"), hint);
    if (!Data1->update()) {
        m_dialogs.showDatabaseError(Data1->lastError(), this);
        // Changed at another desk: the row is shown as stored, not in edit.
        if (Data1->lastError().kind() == StoreError::Kind::Conflict)
            lockEditing();
        return;
    }
    m_dialogs.message(QStringLiteral("Account has been Successfully Updated.Program will restart to update your new "
                                     "password."),
                      QStringLiteral(" Account"), Dialogs::NoIcon, Dialogs::Ok);
    cmdEdit->setEnabled(true);
    emit restartRequested();
}

void AccountScreen::cancel_record()
{
    if (m_dialogs.message(QStringLiteral("are you sure you want to cancel?"), QStringLiteral("Cancel"),
                          Dialogs::Question, Dialogs::YesNo)
        != Dialogs::AnswerYes)
        return;
    // The boxes keep what they show and an open edit stays open; it is
    // dropped, never stored, when the screen or the row is left.
    lockEditing();
}
