// Narrow names as the Windows side hands them on: each byte is the UTF-16
// unit of the same value, and a name is handed on only where Windows, and
// a player reading the playlist in the ANSI code page, find the same file
// by it. Windows files only.
#ifndef TONVELO_UNITS_WIN32_H
#define TONVELO_UNITS_WIN32_H

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

// The longest path text the scan forms, in characters: a joined path keeps
// to 255, within the 260 that the directory streams take.
enum { PATH_TEXT_MAX = 255 };

inline std::wstring widen(const char *s)
{
	const unsigned char *bytes = reinterpret_cast<const unsigned char *>(s);
	return std::wstring(bytes, bytes + std::strlen(s));
}

// The other way: each unit as the byte of its value; false when one is
// above 255.
inline bool narrowUnits(const std::wstring &wide, std::string *text)
{
	text->clear();
	for (wchar_t c : wide) {
		if (c > 0xFF)
			return false;
		*text += static_cast<char>(c);
	}
	return true;
}

// Turns the first len bytes of path, each the unit of its value, into
// UTF-8 in place: a byte from 0x80 on takes two. Returns the new length;
// path must have room for it.
inline std::size_t unitsToUtf8(char *path, std::size_t len)
{
	std::size_t wide = len;
	for (std::size_t i = 0; i < len; i++)
		wide += static_cast<unsigned char>(path[i]) >> 7;
	for (std::size_t from = len, to = wide; from > 0;) {
		unsigned char c = path[--from];
		if (c < 0x80) {
			path[--to] = static_cast<char>(c);
		} else {
			path[--to] = static_cast<char>(0x80 | (c & 0x3F));
			path[--to] = static_cast<char>(0xC0 | c >> 6);
		}
	}
	return wide;
}

// False for a name that Windows does not take as it stands: it drops the
// dots and blanks that end a name, and CON, PRN, AUX, NUL, COM1-COM9 and
// LPT1-LPT9 open the device, whatever blanks and extension follow them.
inline bool opensAsNamed(const wchar_t *name)
{
	std::size_t len = std::wcslen(name);
	if (name[0] == L'.' && (len == 1 || (len == 2 && name[1] == L'.')))
		return true;
	if (len > 0 && (name[len - 1] == L'.' || name[len - 1] == L' '))
		return false;
	std::size_t base = std::wcscspn(name, L".:");
	while (base > 0 && name[base - 1] == L' ')
		base--;
	if (base != 3 && base != 4)
		return true;
	wchar_t up[5] = {};
	for (std::size_t i = 0; i < base; i++)
		up[i] = name[i] >= L'a' && name[i] <= L'z' ? name[i] - L'a' + L'A' : name[i];
	if (base == 3)
		return std::wcscmp(up, L"CON") != 0 && std::wcscmp(up, L"PRN") != 0 &&
		       std::wcscmp(up, L"AUX") != 0 && std::wcscmp(up, L"NUL") != 0;
	bool port = std::wcsncmp(up, L"COM", 3) == 0 || std::wcsncmp(up, L"LPT", 3) == 0;
	return !(port && std::wcschr(L"123456789\u00b9\u00b2\u00b3", up[3]) != nullptr);
}

// True when bytes, read in the ANSI code page as players read a playlist,
// give name back. ASCII reads the same in every one.
inline bool readsBackInCodePage(const char *bytes, const wchar_t *name)
{
	const char *p = bytes;
	while (*p != '\0' && static_cast<unsigned char>(*p) < 0x80)
		p++;
	if (*p == '\0')
		return true;
	int len = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, -1, nullptr, 0);
	if (len <= 0)
		return false;
	std::wstring back(len, L'\0');
	MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, -1, &back[0], len);
	return std::wcscmp(back.c_str(), name) == 0;
}

#endif
