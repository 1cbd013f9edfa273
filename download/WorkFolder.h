#pragma once
#include <string>

// Chooses and creates a fresh work folder: the Downloads known folder (or the
// temporary folder) followed by VELTADL<n>\ for the first n not taken by a
// directory. Returns false, after telling the user, when neither base folder
// is available; nothing is created then.
//
// Paths never overflow: a work folder path must fit MAX_PATH (259 bytes and
// its terminator). A Downloads folder whose candidate would not fit, that is
// longer than the 512-byte base buffer, or that code page 932 cannot spell
// exactly, is passed over for the temporary folder; when the temporary
// folder does not fit either (or is longer than 255 bytes), it is the same
// failure as no base folder at all.
bool PrepareWorkFolder(std::string& workFolder);

// Creates every missing folder up to the path's last separator.
void CreateFolderPath(const char* path);

// Deletes everything below the folder (path ends with '\' or '/'; one is
// added when it does not) and the folder itself, as far as possible,
// silently. Every entry is reached whatever the length of its path and
// whatever characters its name holds: the folder is resolved once and
// searched through the platform's long-path form. A directory link
// (junction or symbolic link) is never entered: only the link itself is
// removed, and where the platform cannot strip it (Wine) it stays, with its
// folder.
void RemoveFolderTree(const char* folder);

// Deletes one file, clearing its read-only and hidden bits first; a file
// whose bits cannot be cleared is left alone, and so is a folder. Used for a
// download's target before the download starts; the files of a removed tree
// go the same way, through the same long-path form.
void RemoveFile(const char* path);
