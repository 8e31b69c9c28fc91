#pragma once

#include "store/common/programfolder.h"
#include "store/common/storeresult.h"

#include <QString>
#include <QStringView>

namespace net {

// MsgLoad: the published message, \Message.txt, as the message service sends it.

// For each line of text (lines end at CR LF or CR; the last needs no end): CR LF, two blanks and
// the line. An empty text gives the empty text.
QString messageFromText(QStringView text);

// The largest \Message.txt that is read; a larger one is an error.
constexpr qint64 kMaxMessageFileBytes = 1 << 20;

struct LoadedMessage {
    store::Result result;
    QString message; // what the message service sends; empty after an error
};

// Reads folder's \Message.txt into the text the message service sends, creating the file empty
// when it is missing. TooLarge for a file over kMaxMessageFileBytes (which is left alone),
// IoError when it cannot be created or read.
LoadedMessage LoadMessage(const ProgramFolder &folder);

// Publishes a new message: \Message.txt := text + CR LF, replaced atomically. TooLarge (and
// nothing written) when the file would be too large to be read back; IoError when it could not be
// written, the old file then whole. The caller loads the message again to send the new one.
store::Result SaveMessage(const ProgramFolder &folder, const QString &text);

} // namespace net
