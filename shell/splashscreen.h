#pragma once

#include "shell/progressscreen.h"

// frmSplash: the start-up presentation, then the login.
class SplashScreen : public ProgressScreen
{
    Q_OBJECT
public:
    explicit SplashScreen(QWidget *parent = nullptr);
};
