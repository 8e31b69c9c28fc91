#pragma once

#include <QString>
#include <QStringView>

class App;

// MsgLoad: the published message, \Message.txt, as the message service sends it.

// For each line of text (lines end at CR LF or CR; the last needs no end): CR LF, two blanks and
// the line. An empty text gives the empty text.
QString messageFromText(QStringView text);

// The largest \Message.txt that is read; a larger one is an error.
constexpr qint64 kMaxMessageFileBytes = 1 << 20;

// Rebuilds the hidden network window's MessageSended from \Message.txt, creating the file empty
// when it is missing. False after an error (MessageSended is then empty).
bool LoadMessage(App &app);

// Publishes a new message: \Message.txt := text + CR LF, replaced atomically, then MessageSended
// is rebuilt from it so that the next client receives it. False when the file could not be
// written (the old message then stays whole and is still the one sent) or read back.
bool SaveMessage(App &app, const QString &text);
