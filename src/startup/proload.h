#pragma once

class QString;

// The program's entry: refuses a second copy, otherwise shows the main window and runs until
// it is left through its exit button. Returns the process exit code.
int Main(const QString &programDir);
