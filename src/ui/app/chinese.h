#pragma once

#include <QString>

// The interface speaks Chinese whatever the desktop's language: Qt's own texts (the context menus
// of text boxes, the buttons of message boxes, file dialogs) come from Qt's Simplified-Chinese
// catalogue, and the locale is Chinese (China): the calendar's month and weekday names, the week
// starting on Monday.
namespace chinese {

// Where Qt's catalogue is looked for: qtbase_zh_CN.qm in Qt's translations folder.
QString cataloguePath();

// Makes Chinese (China) the default locale and installs Qt's catalogue; call it once the
// application object exists and before any window is made. A second call does nothing more.
// Without the catalogue the program runs as before, Qt's texts in English: returns false then.
bool install();

} // namespace chinese
