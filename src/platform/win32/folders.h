// The folders a run works in, as Windows names them. Windows files only.
#ifndef TONVELO_WIN32_FOLDERS_H
#define TONVELO_WIN32_FOLDERS_H

#include <string>

#include "platform/host.h"

// The path that names the folder held by holdScannedFolder now: "\\?\"
// and its full path, however its name was typed or links on the way to
// it change. False, with the last error set, when it is not held.
bool heldFolderPath(HeldFolder folder, std::wstring *path);

#endif
