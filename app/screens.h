#pragma once

class Dialogs;
class QApplication;
class StoreError;
class QString;
class StoreLocation;

// Registers every screen of the program with the navigator and wires their
// requests (to leave, to open another, to end) to it; the screens work on
// the stores of `stores` and speak through `dialogs`, which must outlive them.
void registerScreens(const StoreLocation &stores, Dialogs &dialogs);

// Names the application (which also places the data folder) and sets the
// look shared by every screen.
void prepareApplication(QApplication &app);

// Makes the stores ready before the first screen; a long upgrade (a large
// catalogue gaining its search index) shows its progress in a box rather
// than a frozen program.
StoreError installStores(const StoreLocation &stores);

// Finds the stores of the data folder `folder` and makes them ready, as
// installStores does; when that fails, one box through `dialogs` says why
// (a store missing beside the other names it and the restore that brings
// it back) and false is returned: the desk does not start.
bool openStores(const QString &folder, Dialogs &dialogs, StoreLocation *stores);
