#pragma once

#include <QString>
#include <QtGlobal>

// Everything the settings file sets. One instance, owned by the App, which hands it to the windows
// that read it.
struct Settings {
    // Program-wide settings.
    QString AboutText;     // the display sections of Config.ini
    bool ConfigUnreadable = false; // Config.ini could not be read to its end: AboutText is empty
    bool Passme = false;   // [PassCheck] Passme=1: this copy counts as logged in from the start
    QString DiaryDeletion; // diary entries may be deleted only when "1"
    QString LoveDeletion;  // collection items may be deleted only when "1"
    QString Encrypt;       // [Security] Encrypt: "0" locks new entries the old way, with a password
                           // code beside a readable body, for a folder shared with older copies;
                           // anything else (or nothing) enciphers them
    QString ImagesPath;    // album folder; empty means the program directory's Images folder
    qint16 noLogo = 0;     // 0 puts the logo on saved album pictures

    // Public fields of the windows that the settings reader fills.
    QString FirstPage;    // Index: home-page file name, relative to the program directory
    QString NewMessage;   // Index: what the message button shows
    bool IsServer = false; // ForNull: server mode
    QString ConnectIP;    // ConnectMe: the server every client socket connects to
    qint32 LocPort = 0;   // ConnectMe: local port of the message client socket
    QString oPicSavePath; // fmPhoto: folder of saved pictures
};
