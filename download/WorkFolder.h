#pragma once
#include <string>

// Chooses and creates a fresh work folder: the Downloads known folder (or the
// temporary folder) followed by VELTADL<n>\ for the first n not taken by a
// directory. Returns false, after telling the user, when neither base folder
// is available; nothing is created then.
bool PrepareWorkFolder(std::string& workFolder);

// Creates every missing folder up to the path's last separator.
void CreateFolderPath(const char* path);

// Deletes everything below the folder (path ends with '\' or '/') and the
// folder itself, as far as possible, silently.
void RemoveFolderTree(const char* folder);
