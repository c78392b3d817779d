#include "app/screens.h"

#include "accounts/accountscreen.h"
#include "app/screennames.h"
#include "catalogue/booksscreen.h"
#include "catalogue/loanlistscreen.h"
#include "loans/loanentryscreen.h"
#include "loans/returndeskscreen.h"
#include "shell/closescreen.h"
#include "shell/loginscreen.h"
#include "shell/menuscreen.h"
#include "shell/splashscreen.h"
#include "shell/utilityscreen.h"
#include "ui/dialogs.h"
#include "ui/navigator.h"

#include "store/engine/database.h"
#include "store/engine/location.h"
#include "store/engine/storeerror.h"
#include "store/records/recordsource.h"
#include "tallymere/version.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QProgressDialog>

#include <memory>

namespace {

// A factory for a screen that shows a table: the screen is made, wired to
// `wire`, then its table opened; the navigator destroys it unseen when that
// fails.
template <typename S>
Navigator::Factory onStore(const StoreLocation &stores, Dialogs &dialogs, std::function<void(S *)> wire)
{
    return [stores, &dialogs, wire] {
        auto *screen = new S(stores, dialogs);
        wire(screen);
        return Navigator::Made{screen, screen->openStore()};
    };
}

// The wiring every work screen shares: its Main button leads back to the menu.
template <typename S>
void backToMenu(S *screen)
{
    QObject::connect(screen, &S::menuRequested, screen,
                     [screen] { Navigator::instance().leave(screen, ScreenNames::Menu); });
}

// The screens that need no store: start-up, menu, closing and utilities.
void registerProgramScreens(Navigator &nav, Dialogs &dialogs)
{
    nav.registerScreen(ScreenNames::Splash, [] {
        auto *splash = new SplashScreen;
        // Without its account table there is no way into the program.
        QObject::connect(splash, &ProgressScreen::finished, splash, [splash] {
            if (!Navigator::instance().leave(splash, ScreenNames::Login))
                Navigator::instance().quit();
        });
        return Navigator::Made{splash, {}};
    });
    nav.registerScreen(ScreenNames::Menu, [&dialogs] {
        auto *menu = new MenuScreen(dialogs);
        QObject::connect(menu, &MenuScreen::openRequested, menu,
                         [menu](const QString &name) { Navigator::instance().leave(menu, name); });
        QObject::connect(menu, &MenuScreen::exitRequested, menu,
                         [menu] { Navigator::instance().leave(menu, ScreenNames::Close); });
        return Navigator::Made{menu, {}};
    });
    nav.registerScreen(ScreenNames::Close, [] {
        auto *closing = new CloseScreen;
        // Ending closes every screen, this one and any unseen one included.
        QObject::connect(closing, &ProgressScreen::finished, closing, [] { Navigator::instance().quit(); });
        return Navigator::Made{closing, {}};
    });
    nav.registerScreen(ScreenNames::Utility, [&dialogs] {
        auto *utilities = new UtilityScreen(dialogs);
        backToMenu(utilities);
        return Navigator::Made{utilities, {}};
    });
}

} // namespace

void registerScreens(const StoreLocation &stores, Dialogs &dialogs)
{
    Navigator &nav = Navigator::instance();
    nav.setDialogs(dialogs);
    registerProgramScreens(nav, dialogs);
    nav.registerScreen(ScreenNames::Login, onStore<LoginScreen>(stores, dialogs, [](LoginScreen *login) {
        backToMenu(login);
        QObject::connect(login, &LoginScreen::quitRequested, login, [] { Navigator::instance().quit(); });
    }));
    nav.registerScreen(ScreenNames::LoanEntry, onStore<LoanEntryScreen>(stores, dialogs, backToMenu<LoanEntryScreen>));
    nav.registerScreen(ScreenNames::LoanList, onStore<LoanListScreen>(stores, dialogs, backToMenu<LoanListScreen>));
    nav.registerScreen(ScreenNames::Books, onStore<BooksScreen>(stores, dialogs, backToMenu<BooksScreen>));
    nav.registerScreen(ScreenNames::ReturnDesk,
                       onStore<ReturnDeskScreen>(stores, dialogs, backToMenu<ReturnDeskScreen>));
    nav.registerScreen(ScreenNames::Accounts, onStore<AccountScreen>(stores, dialogs, [](AccountScreen *accounts) {
        backToMenu(accounts);
        // A new password is used from the next log-in on: the desk goes back
        // to the login, and the account screen is made again, unseen, on the
        // stored rows, for the menu to show later as it is left here.
        QObject::connect(accounts, &AccountScreen::restartRequested, accounts, [accounts] {
            Navigator &navigator = Navigator::instance();
            navigator.open(ScreenNames::Login);
            accounts->close();
            if (auto *next = navigator.createAs<AccountScreen>(ScreenNames::Accounts))
                next->lockEditing();
        });
    }));

    // A loan stored while the loan list does not exist makes it, unseen; it
    // reads the rows as it is made and is the one the menu later shows.
    QObject::connect(&TableEvents::instance(), &TableEvents::changed, &nav, [](const QString &table) {
        if (table == Schema::borrower().name && !Navigator::instance().existing(ScreenNames::LoanList))
            Navigator::instance().create(ScreenNames::LoanList);
    });
}

void prepareApplication(QApplication &app)
{
    QApplication::setApplicationName(QStringLiteral("Tallymere"));
    QApplication::setOrganizationName(QString());
    QApplication::setApplicationVersion(QStringLiteral(TALLYMERE_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/emblem.svg")));
    QApplication::setQuitOnLastWindowClosed(true);
    app.setStyle(QStringLiteral("Fusion"));
}

StoreError installStores(const StoreLocation &stores)
{
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> box;
    const StoreError error = Database::install(stores, [&] {
        if (!box && clock.elapsed() > 400) {
            box = std::make_unique<QProgressDialog>(QStringLiteral("Preparing the catalogue for searching…"),
                                                    QString(), 0, 0);
            box->setWindowTitle(Dialogs::applicationTitle());
            box->setMinimumDuration(0);
            box->show();
        }
        QCoreApplication::processEvents();
    });
    return error;
}

bool openStores(const QString &folder, Dialogs &dialogs, StoreLocation *stores)
{
    QString unreadable;
    *stores = DeskStore::of(folder, &unreadable);
    if (!stores->isValid()) {
        dialogs.showDatabaseError(StoreError::make(StoreError::Kind::CannotOpen, unreadable));
        return false;
    }
    if (const StoreError error = installStores(*stores); error.isValid()) {
        dialogs.showDatabaseError(error);
        return false;
    }
    return true;
}
