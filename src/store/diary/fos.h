#pragma once

#include "store/common/storeresult.h"
#include "store/cipher/entrycipher.h"

#include <QString>

#include <memory>
#include <optional>

class QSaveFile;

// File access of the diary: the main window writes and reads entries through one FOS.
// Writes are made safe: a file opened with opw or opout is written anew beside the old one and
// takes its place only when closeAll has it whole on disk, so a crash or a failed write at any
// moment leaves the old file or the new one, never half an entry.
class FOS {
public:
    FOS();
    ~FOS();

    qint16 FileNo = 0; // number of the file the last opw, opout or fr opened
    bool PassOK = false;
    bool Locked = false; // the entry of the last getContent has a password
    // What the last getContent found: Ok, WrongPassword, NotFound, or Damaged for an enciphered
    // entry that cannot be opened (its text is then empty).
    cipher::Result LastResult;

    // Opens path for appending, creating it when missing. False when path is there but is no
    // regular file or cannot be read whole.
    bool opw(const QString &path);
    // Opens path for writing; the old file stays until closeAll commits the new one.
    bool opout(const QString &path);
    // Writes text and CR LF, in code page 936, to the file opened for writing.
    bool fw(const QString &text);
    // Opens path for reading; a failure shows in the next getContent.
    void fr(const QString &path);
    // The body of the entry (the occurrence-th with that key) when the password fits, else an
    // empty text with LastResult saying why (the window shows its locked-entry text); nothing
    // when the key is not in the file or the file cannot be read.
    std::optional<QString> getContent(const QString &key, const QString &password, int occurrence = 0);
    // Closes every file. A file opened for writing is flushed to disk and put in place here;
    // IoError when that or a write before failed, in which case the old file stays as it was.
    store::Result closeAll();

private:
    bool m_failed = false;
    std::unique_ptr<QSaveFile> m_out;
    QString m_readPath;
};
