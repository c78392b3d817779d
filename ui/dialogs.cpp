#include "ui/dialogs.h"

#include "store/engine/storeerror.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QSqlError>

namespace {

// What assistive technology reads for the picture of a box, which Qt leaves
// nameless.
QString iconName(QMessageBox::Icon icon)
{
    switch (icon) {
    case QMessageBox::Information: return QStringLiteral("Information");
    case QMessageBox::Warning: return QStringLiteral("Warning");
    case QMessageBox::Critical: return QStringLiteral("Error");
    case QMessageBox::Question: return QStringLiteral("Question");
    case QMessageBox::NoIcon: break;
    }
    return QString();
}

} // namespace

Dialogs::Answer MessageBoxes::message(const QString &text, const QString &title, Icon icon, Buttons buttons,
                                      QWidget *over)
{
    // A borderless screen need not be the active window (a window manager
    // may not activate it), so a screen that knows it hands itself in.
    QMessageBox box(over ? over->window() : QApplication::activeWindow());
    box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    box.setText(text);
    switch (icon) {
    case NoIcon: box.setIcon(QMessageBox::NoIcon); break;
    case Information: box.setIcon(QMessageBox::Information); break;
    case Question: box.setIcon(QMessageBox::Question); break;
    case Critical: box.setIcon(QMessageBox::Critical); break;
    }
    if (auto *picture = box.findChild<QLabel *>(QStringLiteral("qt_msgboxex_icon_label")))
        picture->setAccessibleName(iconName(box.icon()));
    if (buttons == YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int result = box.exec();
    // A borderless screen is not always given back the activation when the
    // box closes; without it the focus it sets shows no caret and its
    // selections draw in the pale inactive colour.
    if (QWidget *owner = box.parentWidget())
        owner->activateWindow();
    if (buttons == Ok)
        return AnswerOk;
    return result == QMessageBox::Yes ? AnswerYes : AnswerNo;
}

QString MessageBoxes::prompt(const QString &text, const QString &title)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(QApplication::activeWindow(),
                                                 title.isEmpty() ? applicationTitle() : title,
                                                 text, QLineEdit::Normal, QString(), &ok);
    return ok ? answer : QString();
}

void MessageBoxes::beep()
{
    QApplication::beep();
}

void Dialogs::showDatabaseError(const StoreError &error, QWidget *over)
{
    // The sentence, then the engine's own words in brackets.
    QString text = error.text();
    if (text.isEmpty())
        text = QStringLiteral("The database could not complete the operation.");
    message(text, QString(), Critical, Ok, over);
}
