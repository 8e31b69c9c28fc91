#include "store/net/connectionlog.h"

#include "store/diary/diarystore.h"
#include "store/diary/fos.h"

#include <QDir>
#include <QFileInfo>

namespace net {

QString logPath(const ProgramFolder &folder) {
    return folder.path(u"\\LogFile"_qs) + u'/' + diary::DateKey(folder.now().date()) + u".txt"_qs;
}

store::Result saveConnectionLog(const ProgramFolder &folder, const QString &list) {
    const QString path = logPath(folder);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return store::Result::failure(store::Code::IoError, u"cannot create "_qs + QFileInfo(path).path());
    FOS log;
    const bool written = log.opw(path) && log.fw(list);
    if (store::Result closed = log.closeAll(); !closed) return closed;
    if (!written) return store::Result::failure(store::Code::IoError, path + u": cannot write"_qs);
    return store::Result::success();
}

} // namespace net
