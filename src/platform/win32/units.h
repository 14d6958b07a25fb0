// Narrow names as the Windows directory streams take them: each byte is
// the UTF-16 unit of the same value. Windows files only.
#ifndef TONVELO_UNITS_WIN32_H
#define TONVELO_UNITS_WIN32_H

#include <string>

inline std::wstring widen(const char *s)
{
	std::wstring wide;
	for (; *s != '\0'; s++)
		wide += static_cast<wchar_t>(static_cast<unsigned char>(*s));
	return wide;
}

#endif
