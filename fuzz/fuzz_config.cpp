// The settings reader on any bytes: it never crashes, it fails exactly when it says so, and
// reading a file again over what it applied changes nothing.
#include "fuzzsupport.h"

#include "startup/config.h"

#include <cstddef>
#include <cstdint>

using fuzzsupport::check;

namespace {

bool same(const Settings &a, const Settings &b) {
    return a.AboutText == b.AboutText && a.LoginPassed == b.LoginPassed &&
           a.DiaryDeletion == b.DiaryDeletion && a.LoveDeletion == b.LoveDeletion &&
           a.ImagesPath == b.ImagesPath && a.noLogo == b.noLogo && a.MainShown == b.MainShown &&
           a.FirstPage == b.FirstPage && a.NewMessage == b.NewMessage && a.IsServer == b.IsServer &&
           a.ConnectIP == b.ConnectIP && a.LocPort == b.LocPort && a.oPicSavePath == b.oPicSavePath;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzzsupport::init(argc, argv, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::begin(data, size);
    const QByteArrayView bytes(data, qsizetype(size));

    Settings once;
    const bool ok = parseConfigData(bytes, once);
    // The error text stands in AboutText exactly when reading failed; a display section always
    // begins with two line breaks, so the two cannot be mistaken.
    check(ok == (once.AboutText != configErrorText()), "result and AboutText disagree");
    if (ok && !once.AboutText.isEmpty())
        check(once.AboutText.startsWith(u"\r\n\r\n  = "_qs),
              "AboutText does not begin with a heading");
    if (!once.NewMessage.isEmpty())
        check(once.NewMessage.startsWith(u"\r\n  "_qs),
              "NewMessage without its line break and blanks");

    // Everything a reading sets comes from the file alone: a second reading over the result of
    // the first finds nothing to change.
    Settings twice = once;
    const bool okAgain = parseConfigData(bytes, twice);
    check(okAgain == ok, "a second reading of the same bytes ends differently");
    check(same(once, twice), "a second reading of the same bytes changes the settings");
    return 0;
}
