#include "shell/loginscreen.h"

#include "store/engine/storeerror.h"
#include "store/records/rowsource.h"
#include "store/search/criterion.h"
#include "ui/binder.h"
#include "ui/dialogs.h"
#include "ui/form.h"
#include "ui/navigator.h"
#include "ui/theme.h"
#include "ui/widgets.h"

#include <QEvent>
#include <QKeyEvent>
#include <QSqlError>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

LoginScreen::LoginScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_stores(stores), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("frmLogin"));
    centerWhenFirstShown(this);
    createLayout();
}

void LoginScreen::createLayout()
{
    setFixedSize(502, 293);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    Image1 = new Picture(QStringLiteral(":/assets/login.svg"), this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, 502, 293);
    Image1->setAccessibleName(QStringLiteral("Tallymere login"));

    const QString labelStyle = Theme::labelStyle(10);
    const QString boxStyle = Theme::boxStyle(11, 2);

    Form::labelled(Label2, {"Label2", QStringLiteral("Username"), labelStyle, QRect(262, 64, 200, 20)}, txtUsername,
                   "txtUsername", this);
    txtUsername->setGeometry(262, 86, 208, 30);
    txtUsername->setStyleSheet(boxStyle);

    Form::labelled(Label1, {"Label1", QStringLiteral("Password"), labelStyle, QRect(262, 126, 200, 20)}, txtPassword,
                   "txtPassword", this);
    txtPassword->setGeometry(262, 148, 208, 30);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(boxStyle + QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    txtPassword->setMouseTracking(true);

    cmdLogin = new PushButton(QStringLiteral("LOGIN"), this);
    cmdLogin->setObjectName(QStringLiteral("cmdLogin"));
    cmdLogin->setGeometry(262, 198, 208, 36);

    lblsmall = new QLabel(this);
    lblsmall->setObjectName(QStringLiteral("lblsmall"));
    lblsmall->setGeometry(445, 0, 57, 41);
    lblsmall->setAttribute(Qt::WA_TranslucentBackground);

    lblsmall->setAccessibleName(QStringLiteral("Exit"));

    Form::setTabOrder({txtPassword, txtUsername, cmdLogin});

    // Only digits may be typed; any other character, control characters
    // and clipboard shortcuts included, is dropped with a beep, and there is
    // no menu to paste from.
    Form::KeyRefuser::install(txtUsername, m_dialogs,
                              Form::KeyRefuser::typesOutside(QLatin1Char('0'), QLatin1Char('9')),
                              Form::KeyRefuser::NoPasteMenu);
    txtPassword->installEventFilter(this);
    lblsmall->installEventFilter(this);
    connect(cmdLogin, &QPushButton::clicked, this, &LoginScreen::login);
    connect(txtPassword, &QLineEdit::returnPressed, cmdLogin, &QPushButton::click);
}

StoreError LoginScreen::openStore()
{
    Data1 = new RowSource(m_stores, QStringLiteral("tblUser"), this);
    Data1->setCaption(QStringLiteral("Data1"));
    Data1->setObjectName(QStringLiteral("Data1"));
    (new Binder(Data1))->bind(txtUsername, QStringLiteral("Username"));
    if (!Data1->open())
        return Data1->lastError();
    return {};
}

void LoginScreen::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    txtPassword->setFocus(Qt::OtherFocusReason);
}

bool LoginScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtPassword && event->type() == QEvent::FocusIn) {
        // After the click that gave the focus, so the click keeps the selection.
        QTimer::singleShot(0, txtPassword, [box = txtPassword] {
            if (!box->text().isEmpty())
                box->selectAll();
        });
    }
    if (watched == txtPassword && event->type() == QEvent::MouseMove)
        txtPassword->setToolTip(Data1->value(QStringLiteral("Hint")).toString());
    if (watched == lblsmall && event->type() == QEvent::MouseButtonRelease) {
        confirmExit();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void LoginScreen::login()
{
    const QString criterion =
        Criterion::build(QStringLiteral("Username"), QStringLiteral("*") + txtUsername->text().trimmed());
    if (!Data1->findFirst(criterion)) {
        m_dialogs.showDatabaseError(Data1->lastError());
        return;
    }
    // A name that matches no account is refused like a wrong password, never
    // checked against some other account's password.
    const QVariant stored = Data1->value(QStringLiteral("Password"));
    // What is typed is trimmed, so the stored password is too: one saved
    // with a space at either end would otherwise never let anyone in.
    const bool accepted = !Data1->noMatch() && Data1->hasCurrent() && !stored.isNull()
                          && stored.toString().trimmed() == txtPassword->text().trimmed();
    if (accepted) {
        emit menuRequested();
        return;
    }
    m_dialogs.message(QStringLiteral("Your password is Invalid!"), QStringLiteral("Invaldi password!"),
                      Dialogs::Critical, Dialogs::Ok);
    txtUsername->setSelection(0, int(txtUsername->text().size()));
    txtPassword->clear();
    txtPassword->setFocus(Qt::OtherFocusReason);
}

void LoginScreen::confirmExit()
{
    const auto answer = m_dialogs.message(QStringLiteral("Are you sure you want to close the Program?"),
                                          QStringLiteral("Exit!"), Dialogs::NoIcon, Dialogs::YesNo);
    if (answer == Dialogs::AnswerYes)
        emit quitRequested();
}
