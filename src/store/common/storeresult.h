#pragma once

#include <QString>

// What a store function that can fail returns: a code the caller decides on, and a detail for
// people (the file's errorString(), a file name), never shown alone. Windows map the code to
// their own words and log the detail.
namespace store {

enum class Code {
    Ok,
    NotFound,      // the file, entry or item is not there
    WrongPassword, // the entry is locked and the password does not fit
    Damaged,       // the file is there but cannot be read as what it should be
    TooLarge,      // over the size the format or the reader allows
    IoError,       // reading, writing, syncing or renaming failed
    Unavailable,   // what the work needs is not there: libsodium, or the memory of a key derivation
    NotDue,        // nothing to do yet: a backup of that day exists already
    BadInput,      // wrong use: an output folder inside the diary's data, a missing archive
    NotEmpty,      // the folder to write into holds files this program did not write
};

struct Result {
    Code code = Code::Ok;
    QString detail;
    QString path =
        {}; // what the work made or found, where it has one: the archive, the export folder

    bool ok() const { return code == Code::Ok; }
    explicit operator bool() const { return ok(); }

    static Result success(const QString &path = {}) { return {Code::Ok, {}, path}; }
    static Result failure(Code code, const QString &detail = {}) { return {code, detail, {}}; }
};

// The code's name in English ("IoError"), for logs and the command line's messages.
const char *codeName(Code code);

} // namespace store
