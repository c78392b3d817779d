#pragma once

class QApplication;
class QSqlError;
class QString;

// Registers every screen of the program with the navigator.
void registerScreens();

// Names the application (which also places the data folder) and sets the
// look shared by every screen.
void prepareApplication(QApplication &app);

// Makes the stores in `folder` ready before the first screen; a long
// upgrade (a large catalogue gaining its search index) shows its progress
// in a box rather than a frozen program.
QSqlError installStores(const QString &folder);
