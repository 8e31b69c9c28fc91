#pragma once

#include "store/common/storeresult.h"

#include <QString>

// The texts the connection window writes into its pane.
namespace netwindow {

// "^-^": an empty line, then seven lines, each ended by CR LF.
QString thanksText();

// Client mode's connection report; the server's port is never shown.
QString connectionInfo(const QString &remoteHost, const QString &localIP, int localPort);

// One listening service in the server's report.
struct Listener {
    QString ip;
    int port = 0;
};

// Server mode's report: the published message, then the box of the three services.
QString serviceReport(const QString &messageSended, const Listener &message,
                      const Listener &registration, const Listener &login);

// Server mode's note when \Message.txt could not be loaded and the message service sends an empty
// message: too large, or the reason it could not be read.
QString messageNotServedText(const store::Result &loaded);

} // namespace netwindow
