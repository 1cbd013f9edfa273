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

// Deletes everything below the folder (path ends with '\' or '/') and the
// folder itself, as far as possible, silently. Entries whose path would not
// fit 255 bytes (or a folder whose search pattern would not) are left in
// place, and so are the folders holding them. A directory link (junction or
// symbolic link) is never entered: only the link itself is removed, and where
// the platform cannot strip it (Wine) it stays, with its folder.
void RemoveFolderTree(const char* folder);

// Deletes one file, clearing its read-only and hidden bits first; a file
// whose bits cannot be cleared is left alone, and so is a folder. Used for
// the files of a removed tree and for a download's target before the
// download starts.
void RemoveFile(const char* path);
