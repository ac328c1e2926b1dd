#pragma once

#include <QString>

// The user's own folders, as QStandardPaths names them on this system.
struct UserFolders {
    QString config; // ~/.config
    QString cache;  // ~/.cache
    QString music;  // ~/Music, or the folder xdg-user-dirs names
    QString home;

    static UserFolders Standard();
};

// The program's own subfolder of the user's cache folder.
QString ProgramCacheFolder(const UserFolders &user);

// Where the program keeps "quarle.ini" and the document file "temp", and which destination folder it
// offers. A program whose folder the user may write (a build folder, a portable copy) keeps them in
// that folder; an installed one, whose folder belongs to the system, in the user's own folders.
struct FileLocations {
    bool programFolder = false; // the files are in the program's own folder, else in the user's
    QString settingsFile;       // "quarle.ini" as written at close
    QString settingsFallback;   // read in its place while it does not exist yet; empty when none
    QString documentFolder;     // where "temp" goes
    QString defaultDestination; // offered when the settings name no destination; ends in "/"

    // The file that holds the settings to read at start.
    QString SettingsToRead() const;
    // Makes ready the folder that one of these files goes in: the program's own folder as it is, one
    // of the user's as MakePrivateFolder leaves it. False when it cannot be used.
    bool PrepareFolder(const QString &folder) const;
};

// The rule, on plain data: programDirIsOwn tells whether the program's folder is its own (see below).
FileLocations LocateFiles(const QString &programDir, bool programDirIsOwn, const UserFolders &user);
// The rule for this program and this user.
FileLocations LocateFiles(const QString &programDir);

// The folder belongs to the user, who may write it and nobody else may (in a folder that others may
// write, one of them could put a link where the program's files go), and it is not in the system's
// /usr tree (where even root, who may write anything, should not leave a settings file beside the
// program).
bool IsOwnProgramFolder(const QString &programDir);

// Creates folder and whichever of its parents are missing, each open to its owner only, and narrows
// the folder itself to its owner (0700). False when it is not there afterwards or belongs to someone
// else: in a folder that is the user's alone, a link can only be the user's own.
bool MakePrivateFolder(const QString &folder);
