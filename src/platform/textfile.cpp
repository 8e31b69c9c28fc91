#include "platform/textfile.h"

#include "platform/codepage.h"

#include <QSaveFile>

bool writeTextLineAtomically(const QString &path, const QString &text) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = cp936::encode(text) + "\r\n";
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        f.commit();
        return false;
    }
    // commit() flushes and syncs the temporary file before renaming it over the old one.
    return f.commit();
}
