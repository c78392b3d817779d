#pragma once

#include "shell/progressscreen.h"

// frmclose: the closing presentation; the program ends with its last step.
class CloseScreen : public ProgressScreen
{
    Q_OBJECT
public:
    explicit CloseScreen(QWidget *parent = nullptr);
};
