// The Windows directory streams, and the calls a replacement makes there,
// on folders made by the tests.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/folders.h"
#include "platform/win32/units.h"
#include "playlist/place.h"
#include "scan/win32/dirent.h"

namespace {

// A new empty folder below the temporary folder.
std::wstring makeTempFolder()
{
	static unsigned serial = 0;
	wchar_t base[MAX_PATH + 1];
	DWORD len = GetTempPathW(MAX_PATH + 1, base);
	EXPECT_GT(len, 0u);
	for (;;) {
		std::wstring path = std::wstring(base, len) + L"tonvelo-" +
			std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(serial++);
		if (CreateDirectoryW(path.c_str(), nullptr))
			return path;
		EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
	}
}

void makeFile(const std::wstring &path)
{
	HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
			       FILE_ATTRIBUTE_NORMAL, nullptr);
	ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
	CloseHandle(h);
}

// Units 0-255 as bytes of the same value (widen is the other way): the C
// locale's rule.
std::string toBytes(const std::wstring &s)
{
	std::string out;
	for (wchar_t c : s) {
		EXPECT_LE(unsigned(c), 0xFFu);
		out += char(c);
	}
	return out;
}

std::vector<dirent> readAll(DIR *dir)
{
	std::vector<dirent> all;
	while (dirent *ent = readdir(dir))
		all.push_back(*ent);
	return all;
}

std::multiset<std::string> namesOf(const std::vector<dirent> &all)
{
	std::multiset<std::string> names;
	for (const dirent &ent : all)
		names.insert(ent.d_name);
	return names;
}

// The errno of an open of name that fails, set afresh: EINTR stood before.
int openFailure(const char *name)
{
	errno = EINTR;
	EXPECT_EQ(opendir(name), nullptr);
	return errno;
}

std::wstring patternOf(const std::wstring &name)
{
	DIR *dir = opendir(toBytes(name).c_str());
	if (dir == nullptr)
		return L"open failed, errno " + std::to_wstring(errno);
	std::wstring pattern = dir->wdirp->pattern;
	closedir(dir);
	return pattern;
}

// The first entry of a fresh stream waits in the find record: a test can
// give it the name or attributes it needs before readdir hands it out.
DIR *openWithFirstRecord(const std::wstring &folder)
{
	DIR *dir = opendir(toBytes(folder).c_str());
	EXPECT_NE(dir, nullptr);
	if (dir != nullptr) {
		EXPECT_EQ(dir->wdirp->cached, 1);
	}
	return dir;
}

TEST(SearchPattern, IsTheFullPathOneSeparatorAndAStar)
{
	std::wstring folder = makeTempFolder();
	for (const std::wstring &name : {folder, folder + L"\\", folder + L"/"})
		EXPECT_EQ(patternOf(name), folder + L"\\*") << toBytes(name);

	std::wstring root = folder.substr(0, 3);
	ASSERT_EQ(root.substr(1), L":\\");
	EXPECT_EQ(patternOf(root), root + L"*");
	EXPECT_EQ(patternOf(root.substr(0, 2) + L"/"), root + L"*");

	std::filesystem::path saved = std::filesystem::current_path();
	ASSERT_TRUE(CreateDirectoryW((folder + L"\\sub").c_str(), nullptr));
	ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
	EXPECT_EQ(patternOf(L"sub"), folder + L"\\sub\\*");
	EXPECT_EQ(patternOf(L"sub/"), folder + L"\\sub\\*");
	EXPECT_EQ(patternOf(L"."), folder + L"\\*");
	std::filesystem::current_path(saved);
	std::filesystem::remove_all(folder);
}

TEST(OpenErrors, FindErrorsMapToThreeErrnoValues)
{
	EXPECT_EQ(mapFolderError(ERROR_ACCESS_DENIED), EACCES);
	EXPECT_EQ(mapFolderError(ERROR_DIRECTORY), ENOTDIR);
	const DWORD others[] = {ERROR_PATH_NOT_FOUND, ERROR_FILE_NOT_FOUND, ERROR_INVALID_NAME,
				ERROR_BAD_NETPATH, 0};
	for (DWORD code : others)
		EXPECT_EQ(mapFolderError(code), ENOENT) << code;
}

TEST(OpenErrors, MissingOrEmptyNameIsENOENT)
{
	EXPECT_EQ(openFailure(nullptr), ENOENT);
	EXPECT_EQ(openFailure(""), ENOENT);
	errno = EINTR;
	EXPECT_EQ(openWideDir(L""), nullptr);
	EXPECT_EQ(errno, ENOENT);
}

TEST(OpenErrors, RealFailuresSetAFreshErrno)
{
	std::wstring folder = makeTempFolder();
	EXPECT_EQ(openFailure(toBytes(folder + L"\\missing").c_str()), ENOENT);
	EXPECT_EQ(openFailure(toBytes(folder + L"\\missing\\deeper").c_str()), ENOENT);

	// Windows says ERROR_DIRECTORY for a file, Wine ERROR_INVALID_NAME:
	// whichever it is, the open reports its mapping.
	std::wstring file = folder + L"\\song.mp3";
	makeFile(file);
	WIN32_FIND_DATAW data;
	std::wstring pattern = file + L"\\*";
	ASSERT_EQ(FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &data,
				   FindExSearchNameMatch, nullptr, 0), INVALID_HANDLE_VALUE);
	int want = mapFolderError(GetLastError());
	EXPECT_TRUE(want == ENOTDIR || want == ENOENT) << want;
	EXPECT_EQ(openFailure(toBytes(file).c_str()), want);
	std::filesystem::remove_all(folder);
}

TEST(OpenErrors, NamesLongerThan260CharactersFailTheConversion)
{
	std::string name(260, 'n');
	EXPECT_EQ(openFailure(name.c_str()), ENOENT) << "260 characters reach the find functions";
	EXPECT_EQ(openFailure((name + 'n').c_str()), ERANGE);
}

TEST(OpenErrors, ClosingADirWithoutItsWideStreamIsEBADF)
{
	DIR *dir = static_cast<DIR *>(std::calloc(1, sizeof(DIR)));
	ASSERT_NE(dir, nullptr);
	errno = 0;
	EXPECT_EQ(closedir(dir), -1);
	EXPECT_EQ(errno, EBADF);
}

TEST(Enumeration, HandsOutEveryEntryOnceAndHashesTheNextName)
{
	std::wstring folder = makeTempFolder();
	std::multiset<std::string> want = {".", ".."};
	for (int i = 0; i < 40; i++) {
		std::wstring name = L"track" + std::to_wstring(i) + L".mp3";
		makeFile(folder + L"\\" + name);
		want.insert(toBytes(name));
	}
	for (const wchar_t *name : {L"Album", L"Live"}) {
		ASSERT_TRUE(CreateDirectoryW((folder + L"\\" + name).c_str(), nullptr));
		want.insert(toBytes(name));
	}

	DIR *dir = opendir(toBytes(folder).c_str());
	ASSERT_NE(dir, nullptr);
	std::vector<dirent> all = readAll(dir);
	errno = 0;
	EXPECT_EQ(readdir(dir), nullptr) << "the end stays the end";
	EXPECT_EQ(errno, 0) << "and is no error";
	EXPECT_EQ(closedir(dir), 0);

	EXPECT_EQ(namesOf(all), want);
	for (std::size_t i = 0; i < all.size(); i++) {
		const dirent &ent = all[i];
		std::string name = ent.d_name;
		std::int32_t next = i + 1 < all.size()
			? hashName(widen(all[i + 1].d_name).c_str()) : DIRENT_OFF_LAST;
		EXPECT_EQ(ent.d_off, next) << name;
		EXPECT_EQ(ent.d_namlen, name.size()) << name;
		EXPECT_EQ(ent.d_type, name.find(".mp3") == name.npos ? DT_DIR : DT_REG) << name;
		EXPECT_EQ(ent.d_reclen, sizeof(dirent));
		EXPECT_EQ(ent.d_ino, 0);
	}
	std::filesystem::remove_all(folder);
}

TEST(Enumeration, AReadErrorComesAfterTheEntryReadBeforeIt)
{
	// A find handle closed under the stream fails the next FindNextFileW,
	// the look-ahead of the second readdir.
	std::wstring folder = makeTempFolder();
	DIR *dir = opendir(toBytes(folder).c_str());
	ASSERT_NE(dir, nullptr);
	ASSERT_NE(readdir(dir), nullptr);
	FindClose(dir->wdirp->handle);
	dir->wdirp->handle = INVALID_HANDLE_VALUE;
	dirent *ent = readdir(dir);
	ASSERT_NE(ent, nullptr);
	EXPECT_EQ(ent->d_off, DIRENT_OFF_LAST);
	for (int i = 0; i < 2; i++) {
		errno = 0;
		EXPECT_EQ(readdir(dir), nullptr);
		EXPECT_EQ(errno, EIO);
	}
	closedir(dir);
	std::filesystem::remove_all(folder);
}

TEST(Enumeration, TypeIsTakenFromTheAttributesInOrder)
{
	const struct {
		DWORD attributes;
		int type;
	} cases[] = {
		{FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, DT_CHR},
		{FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, DT_LNK},
		{FILE_ATTRIBUTE_REPARSE_POINT, DT_LNK},
		{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, DT_DIR},
		{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, DT_REG},
		{FILE_ATTRIBUTE_NORMAL, DT_REG},
	};
	std::wstring folder = makeTempFolder();
	for (const auto &c : cases) {
		DIR *dir = openWithFirstRecord(folder);
		ASSERT_NE(dir, nullptr);
		dir->wdirp->data.dwFileAttributes = c.attributes;
		dirent *ent = readdir(dir);
		ASSERT_NE(ent, nullptr);
		EXPECT_EQ(ent->d_type, c.type) << std::hex << c.attributes;
		closedir(dir);
	}
	std::filesystem::remove_all(folder);
}

TEST(NarrowNames, UnitsFrom0xA0To0xFFRoundTripAsBytes)
{
	if (GetACP() != 1252)
		GTEST_SKIP() << "Latin-1 reads back as itself in code page 1252 only";
	std::wstring folder = makeTempFolder();
	// Two names of 48 units each: one of 96 would be too long on the
	// Linux side of Wine, which stores them as UTF-8.
	std::wstring low, high;
	for (wchar_t c = 0xA0; c <= 0xFF; c++)
		(c < 0xD0 ? low : high) += c;
	for (const std::wstring &name : {low, high})
		ASSERT_TRUE(CreateDirectoryW((folder + L"\\" + name).c_str(), nullptr));

	// The folder lists both, and each opens by the bytes listed.
	const std::multiset<std::string> both = {".", "..", toBytes(low), toBytes(high)},
					 none = {".", ".."};
	for (const std::wstring &path : {folder, folder + L"\\" + low, folder + L"\\" + high}) {
		DIR *dir = opendir(toBytes(path).c_str());
		ASSERT_NE(dir, nullptr) << errno;
		EXPECT_EQ(std::wstring(dir->wdirp->pattern), path + L"\\*");
		EXPECT_EQ(namesOf(readAll(dir)), path == folder ? both : none);
		closedir(dir);
	}
	std::filesystem::remove_all(folder);
}

TEST(NarrowNames, NameBeyondLatin1ComesAsItsShortNameOrAsTheSubstitute)
{
	std::wstring folder = makeTempFolder();
	const std::wstring japanese = L"\u65e5\u672c\u8a9e.mp3";
	makeFile(folder + L"\\" + japanese);
	makeFile(folder + L"\\a.mp3");

	// Whether the volume keeps 8.3 names is its own choice.
	wchar_t shortPath[MAX_PATH + 1];
	std::wstring longPath = folder + L"\\" + japanese;
	DWORD len = GetShortPathNameW(longPath.c_str(), shortPath, MAX_PATH + 1);
	ASSERT_GT(len, 0u);
	std::wstring shortName = std::wstring(shortPath, len);
	shortName = shortName.substr(shortName.find_last_of(L"\\/") + 1);
	bool hasShort = shortName != japanese;

	DIR *dir = opendir(toBytes(folder).c_str());
	ASSERT_NE(dir, nullptr);
	std::vector<dirent> all = readAll(dir);
	closedir(dir);
	std::multiset<std::string> want = {".", "..", "a.mp3",
		hasShort ? toBytes(shortName) : std::string("?")};
	EXPECT_EQ(namesOf(all), want);
	for (const dirent &ent : all) {
		bool substitute = std::strcmp(ent.d_name, "?") == 0;
		EXPECT_EQ(ent.d_type == DT_UNKNOWN, substitute) << ent.d_name;
		EXPECT_EQ(ent.d_off == -1, substitute) << ent.d_name;
	}
	std::filesystem::remove_all(folder);
}

TEST(NarrowNames, WithoutAShortNameANameComesInUtf8ElseAsTheSubstitute)
{
	std::wstring folder = makeTempFolder();
	makeFile(folder + L"\\a.mp3");
	makeFile(folder + L"\\b.mp3");
	DIR *dir = openWithFirstRecord(folder);
	ASSERT_NE(dir, nullptr);
	// As volumes without short names give them, each in the find record
	// where the next waits; below a folder named in UTF-8 every name comes
	// so, the long one before the short. A lone surrogate has no UTF-8.
	std::multiset<std::string> want = {".", "..", "a.mp3", "b.mp3"};
	std::vector<std::string> said; // name, length in UTF-16 units, form
	dirent *ent = nullptr;
	for (const wchar_t *name : {L"\u65e5\u672c.mp3", L"caf\u00e9", L"\xd800.mp3"}) {
		want.erase(want.find(toBytes(dir->wdirp->data.cFileName)));
		std::wcscpy(dir->wdirp->data.cFileName, name);
		std::wcscpy(dir->wdirp->data.cAlternateFileName, name[0] == L'c' ? L"CAFE~1" : L"");
		dir->utf8 = name[0] != L'\u65e5';
		ASSERT_NE(ent = readdir(dir), nullptr);
		said.push_back(std::string(ent->d_name) + " " + std::to_string(dir->wdirp->ent.d_namlen) +
			       (dir->nameInUtf8 ? " utf8" : "") + (dir->unlisted ? " unlisted" : ""));
	}
	EXPECT_EQ(said, (std::vector<std::string>{"\xe6\x97\xa5\xe6\x9c\xac.mp3 6 utf8",
						  "caf\xc3\xa9 4 utf8", "? 1 unlisted"}));
	EXPECT_STREQ(ent->d_name, "?");
	EXPECT_EQ(ent->d_namlen, 1u);
	EXPECT_EQ(ent->d_type, DT_UNKNOWN);
	EXPECT_EQ(ent->d_ino, 0);
	EXPECT_EQ(ent->d_off, -1);
	EXPECT_EQ(ent->d_reclen, 0u);

	// The entries after it still come, each once.
	EXPECT_EQ(namesOf(readAll(dir)), want);
	closedir(dir);
	std::filesystem::remove_all(folder);
}

TEST(NarrowNames, ShortNameStandsInForALongNameWithoutBytes)
{
	std::wstring folder = makeTempFolder();
	DIR *dir = openWithFirstRecord(folder);
	ASSERT_NE(dir, nullptr);
	std::wcscpy(dir->wdirp->data.cFileName, L"\u65e5\u672c.mp3");
	std::wcscpy(dir->wdirp->data.cAlternateFileName, L"AB~1.MP3");
	dir->wdirp->data.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;

	dirent *ent = readdir(dir);
	ASSERT_NE(ent, nullptr);
	EXPECT_STREQ(ent->d_name, "AB~1.MP3");
	EXPECT_EQ(ent->d_namlen, 8u);
	EXPECT_EQ(ent->d_type, DT_REG);
	EXPECT_EQ(ent->d_reclen, sizeof(dirent));
	ent = readdir(dir);
	ASSERT_NE(ent, nullptr) << "an empty folder still has . and ..";
	closedir(dir);
	std::filesystem::remove_all(folder);
}

TEST(NarrowNames, DevicesAndTrailingDotsAndBlanksDoNotOpenAsNamed)
{
	for (const wchar_t *name : {L"con", L"CoN.mp3", L"aux.d", L"PRN.x.y", L"nul ", L"lpt1 .mp3",
				    L"COM9.flac", L"com\u00b9.mp3", L"a.", L"a ", L"..."})
		EXPECT_FALSE(opensAsNamed(name)) << toBytes(name);
	for (const wchar_t *name : {L".", L"..", L".a", L"a b", L"console.mp3", L"con2.mp3",
				    L"com0.mp3", L"lpt10", L" con.mp3", L"xnul.d", L"COMA"})
		EXPECT_TRUE(opensAsNamed(name)) << toBytes(name);
}

TEST(HashName, IsDjb2OverUtf16UnitsKeptTo31Bits)
{
	// Values worked out apart from the code.
	EXPECT_EQ(hashName(L""), 5381);
	EXPECT_EQ(hashName(L"a"), 177670);
	EXPECT_EQ(hashName(L"\u00e9"), 177806);
	EXPECT_EQ(hashName(L"playlist.m3u"), 1879220826);
	EXPECT_EQ(hashName(L"\u65e5\u672c.mp3"), 36116148);
	EXPECT_EQ(hashName(L"\uffff\uffff\uffff"), 266972802);
	std::wstring long260(260, L'x');
	EXPECT_EQ(hashName(long260.c_str()), 2111603557);
	EXPECT_EQ(hashName((long260 + L"yz").c_str()), 2111603557) << "stops after 260 units";
}

TEST(Replacement, ATakenTemporaryNameIsEEXIST)
{
	// So that the replacement draws another name.
	std::wstring folder = makeTempFolder();
	makeFile(folder + L"\\.m3u0000cafe");
	Place place;
	place.folder = folder + L"\\";
	errno = 0;
	EXPECT_EQ(openNamed(&place, ".m3u0000cafe"), -1);
	EXPECT_EQ(errno, EEXIST);
	std::filesystem::remove_all(folder);
}

} // namespace
