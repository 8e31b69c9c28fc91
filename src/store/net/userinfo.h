#pragma once

#include "store/common/programfolder.h"
#include "store/common/storeresult.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

// One user account of the server, and its file \UserInfo\<id>.usr: RecordMark and ID as 32-bit
// little-endian integers, then Password, Name, Sex, Address, Email, About and IP, each as a
// 16-bit little-endian byte count and that many bytes of code page 936. No header, no padding.
class UserInfo {
public:
    static constexpr qint32 kRecordMark = 998083;
    static constexpr qint64 kIdBound = 99999999;
    // The most bytes a text can take in the file; a longer one is cut at a character boundary
    // when it is set.
    static constexpr int kMaxTextBytes = 65535;
    // The longest record the format can describe; reading never goes further.
    static constexpr int kMaxRecordBytes = 8 + 7 * (2 + kMaxTextBytes);

    // The account files live in folder's \UserInfo\; ids are drawn from its random source.
    // The folder is referred to, not copied: it must outlive the object.
    explicit UserInfo(const ProgramFolder &folder);
    explicit UserInfo(ProgramFolder &&) = delete;

    // RecordMark := 998083; ID := a fresh random number from 0 to 99,999,999.
    void setID();
    void setPassword(const QString &text);
    void setName(const QString &text);
    void setSex(const QString &text);
    void setAddress(const QString &text);
    void setEmail(const QString &text);
    void setAbout(const QString &text);
    void setIP(const QString &text);

    qint32 getID() const { return m_id; }
    qint32 recordMark() const { return m_recordMark; }
    QString getName() const { return m_name; }
    QString getPassword() const { return m_password; }
    QString getSex() const { return m_sex; }
    QString getAddress() const { return m_address; }
    QString getEmail() const { return m_email; }
    QString getAbout() const { return m_about; }
    QString getIP() const { return m_ip; }

    // Replaces the account file of the current ID as a whole (the folder must exist). IoError when
    // it cannot be written; the old file, if any, is then untouched.
    store::Result Save() const;
    // Loads the account file of id. An id that is not 1 to 8 decimal digits is never looked up,
    // and a missing file leaves the object unchanged: both return false. A file that cannot be
    // read whole also returns false, with the fields read so far and the rest reset.
    bool getInfo(const QString &id);

    // The file of an account id (decimal, no sign, no leading zeros).
    QString filePath(qint32 id) const;
    static QString fileName(qint32 id);

    // The record in file form, and back. fromBytes resets every field, then reads the nine
    // fields in order; bytes after them are ignored. False when the bytes end inside a field.
    QByteArray toBytes() const;
    bool fromBytes(QByteArrayView bytes);

    // text, cut so that its code page 936 form takes at most kMaxTextBytes bytes.
    static QString fitText(const QString &text);

private:
    QString folderPath() const;

    const ProgramFolder &m_folder;
    qint32 m_recordMark = 0;
    qint32 m_id = 0;
    QString m_password;
    QString m_name;
    QString m_sex;
    QString m_address;
    QString m_email;
    QString m_about;
    QString m_ip;
};
