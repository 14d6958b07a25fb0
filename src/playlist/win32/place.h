#ifndef TONVELO_WIN32_PLACE_H
#define TONVELO_WIN32_PLACE_H

#include <string>

#include <windows.h>

#include "platform/win32/folders.h"

// Windows: names are wide, each byte of the narrow text the unit of the
// same value, as the directory streams read them.
struct Place {
	std::wstring folder;   // the folder that holds the file: "" or ending in a separator
	std::wstring name;     // the file's name in it
	std::string shown;     // the folder as reports show it
	std::string listed;    // the name as the media list holds it; "" when it cannot
	PlaceKind kind = PLACE_EMPTY;
	DWORD attributes = 0;  // the old file's
	FileIdentity id = {};  // who the old file is
	Refusal refusal;       // never filled in: nothing is refused here
};

#endif
