#pragma once

#include <QStringList>

// The subcommands of qingchuang-tool. Each takes the words after its name (the program folder
// first) and returns the exit status: 0 done, 1 the folder or a file could not be read or written,
// 2 wrong use. Each lives in a file of its own beside qctool.cpp.
namespace qctool {

struct Command {
    const char *name;
    const char *usage; // the words after the name, for the usage text
    int (*run)(const QStringList &args);
};

} // namespace qctool
