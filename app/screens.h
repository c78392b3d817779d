#pragma once

class QApplication;

// Registers every screen of the program with the navigator.
void registerScreens();

// Names the application (which also places the data folder) and sets the
// look shared by every screen.
void prepareApplication(QApplication &app);
