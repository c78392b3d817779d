#include "app/ui/dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QSqlError>

namespace {

class WidgetDialogs final : public Dialogs
{
public:
    Answer message(const QString &text, const QString &title, Icon icon, Buttons buttons) override
    {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
        box.setText(text);
        switch (icon) {
        case NoIcon: box.setIcon(QMessageBox::NoIcon); break;
        case Information: box.setIcon(QMessageBox::Information); break;
        case Question: box.setIcon(QMessageBox::Question); break;
        case Critical: box.setIcon(QMessageBox::Critical); break;
        }
        if (buttons == YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        const int result = box.exec();
        if (buttons == Ok)
            return AnswerOk;
        return result == QMessageBox::Yes ? AnswerYes : AnswerNo;
    }

    QString prompt(const QString &text, const QString &title) override
    {
        bool ok = false;
        const QString answer = QInputDialog::getText(QApplication::activeWindow(),
                                                     title.isEmpty() ? applicationTitle() : title,
                                                     text, QLineEdit::Normal, QString(), &ok);
        return ok ? answer : QString();
    }

    void beep() override { QApplication::beep(); }
};

Dialogs *installed = nullptr;

} // namespace

Dialogs &Dialogs::instance()
{
    static WidgetDialogs real;
    return installed ? *installed : real;
}

void Dialogs::install(Dialogs *dialogs)
{
    installed = dialogs;
}

void showDatabaseError(const QSqlError &error)
{
    QString text = error.text().trimmed();
    if (text.isEmpty())
        text = QStringLiteral("The database could not complete the operation.");
    Dialogs::instance().message(text, QString(), Dialogs::Critical, Dialogs::Ok);
}
