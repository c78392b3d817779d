#pragma once

#include "ui/dialogs.h"

#include <cstdio>

namespace Bench {

// Stands in for the message boxes while a benchmark drives a screen: a box
// would wait for a click that never comes, so each one is printed instead
// and counted, and the figures of that run are not to be trusted.
class LoudDialogs : public Dialogs
{
public:
    LoudDialogs() = default;
    LoudDialogs(const LoudDialogs &) = delete;
    LoudDialogs &operator=(const LoudDialogs &) = delete;

    Answer message(const QString &text, const QString &title, Icon, Buttons buttons, QWidget * = nullptr) override
    {
        ++shown;
        std::fprintf(stderr, "message box \"%s\": %s\n", qPrintable(title), qPrintable(text));
        return buttons == YesNo ? AnswerNo : AnswerOk;
    }
    QString prompt(const QString &text, const QString &title) override
    {
        ++shown;
        std::fprintf(stderr, "prompt \"%s\": %s\n", qPrintable(title), qPrintable(text));
        return QString();
    }
    void beep() override {}

    int shown = 0;
};

} // namespace Bench
