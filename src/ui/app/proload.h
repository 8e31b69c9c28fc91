#pragma once

#include <QString>

// The program's entry: refuses a second copy, otherwise shows the main window, starts the day's
// backup and runs until it is left through its exit button. aboutNote is a line the about view
// adds (where an installed program keeps the diary). Returns the process exit code.
int Main(const QString &programDir, const QString &aboutNote = QString());
