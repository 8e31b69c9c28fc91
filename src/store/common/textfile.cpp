#include "store/common/textfile.h"

#include "store/common/codepage.h"

namespace store {

store::Result writeTextLineAtomically(const QString &path, const QString &text) {
    return store::saveFile(path, cp936::encode(text) + "\r\n");
}

} // namespace store
