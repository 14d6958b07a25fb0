// The collector on Windows over a stand-in for the directory streams, so
// that records the real volume never hands out under Wine (the substitute
// for a name without bytes, names in UTF-8 where no short names are kept)
// reach it all the same. The folder scanned is the current one, for the
// collector to hold and identify; what it holds is the stand-in's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/units.h"
#include "scan/collect.h"
#include "scan/medialist.h"
#include "scan/win32/dirent.h"

namespace {

dirent record(const char *name, std::int32_t type)
{
	dirent ent = {};
	std::strcpy(ent.d_name, name);
	ent.d_namlen = std::strlen(name);
	ent.d_type = type;
	ent.d_reclen = sizeof(dirent);
	return ent;
}

// What readdir gives for a name the narrow form cannot hold.
dirent substitute()
{
	dirent ent = record("?", DT_UNKNOWN);
	ent.d_off = -1;
	ent.d_reclen = 0;
	return ent;
}

// By their paths below root, the folder scanned as the scan opens it; a
// link's path may stand for another's folder, as links.
std::wstring root;
std::map<std::wstring, std::vector<dirent>> folders;
std::map<std::wstring, std::wstring> links;
// The errno a folder's stream ends with after its records, as on a read error.
std::map<std::wstring, int> failures;

// Each open stream: the folder it reads and how far.
struct Reading {
	std::wstring folder;
	std::size_t next;
};
std::map<DIR *, Reading> streams;

} // namespace

DIR *openDirWide(const wchar_t *name, bool utf8)
{
	if (root.empty())
		root = name;
	std::wstring path = std::wstring(name).substr(root.size());
	if (folders.count(path) == 0) {
		errno = ENOENT;
		return nullptr;
	}
	std::wstring real = root + (links.count(path) != 0 ? links[path] : path) + L"\\*";
	DIR *dir = new DIR();
	dir->wdirp = new WideDirStream();
	dir->wdirp->pattern = new wchar_t[real.size() + 1];
	std::wcscpy(dir->wdirp->pattern, real.c_str());
	dir->utf8 = utf8;
	streams[dir] = Reading{path, 0};
	return dir;
}

dirent *readdir(DIR *dir)
{
	Reading &r = streams.at(dir);
	const std::vector<dirent> &records = folders[r.folder];
	if (r.next == records.size()) {
		if (failures.count(r.folder) != 0)
			errno = failures[r.folder];
		return nullptr;
	}
	dir->ent = records[r.next++];
	// A name in UTF-8 (fewer units than bytes) is one readdir gives so.
	wchar_t *wide = dir->wdirp->ent.d_name;
	int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, dir->ent.d_name, -1, wide,
					DIRENT_NAME_SIZE) - 1;
	dir->nameInUtf8 = dir->utf8 || (units >= 0 && units < int(dir->ent.d_namlen));
	if (!dir->nameInUtf8)
		std::wcscpy(wide, widen(dir->ent.d_name).c_str());
	dir->wdirp->ent.d_namlen = std::wcslen(wide);
	// As readdir says it of the substitute, whose long name holds ".mp3".
	dir->unlisted = dir->ent.d_reclen == 0 ? "name not representable, left out" : nullptr;
	std::strcpy(dir->longName, dir->ent.d_reclen == 0 ? "\xe6\x97\xa5.mp3" : "");
	return &dir->ent;
}

int closedir(DIR *dir)
{
	streams.erase(dir);
	delete[] dir->wdirp->pattern;
	delete dir->wdirp;
	delete dir;
	return 0;
}

namespace {

// Scans the current folder, real, over the records of folders, and checks
// the entries and the reports it gives.
void expectScan(const std::vector<std::string> &entries, const std::string &reports)
{
	root.clear();
	clearMediaList();
	testing::internal::CaptureStderr();
	scanFolder(".");
	std::string err = testing::internal::GetCapturedStderr();
	err.erase(std::remove(err.begin(), err.end(), '\r'), err.end());
	std::vector<std::string> got(mediaList.paths.begin(), mediaList.paths.end());
	EXPECT_EQ(got, entries);
	EXPECT_EQ(err, reports);
	EXPECT_TRUE(streams.empty()) << "every stream is closed";
	clearMediaList();
}

TEST(Collector, SkipsAndReportsTheSubstituteRecord)
{
	folders = {
		{L"", {record(".", DT_DIR), record("..", DT_DIR), record("a.mp3", DT_REG),
		       substitute(), record("sub", DT_DIR)}},
		{L"\\sub", {record(".", DT_DIR), substitute(), record("b.mp3", DT_REG),
			     record("..", DT_DIR)}},
	};
	expectScan({"./a.mp3", "./sub/b.mp3"},
		   "tonvelo: ./?: name not representable, left out\n"
		   "tonvelo: ./sub/?: name not representable, left out\n");
}

TEST(Collector, KeepsWhatWasReadBeforeAReadErrorAndSaysIt)
{
	folders = {{L"", {record("a.mp3", DT_REG), record("sub", DT_DIR)}},
		   {L"\\sub", {record("b.mp3", DT_REG)}}};
	failures = {{L"", EIO}, {L"\\sub", EACCES}};
	expectScan({"./a.mp3", "./sub/b.mp3"},
		   "tonvelo: ./sub: Permission denied\n"
		   "tonvelo: .: Input/output error\n");
	failures.clear();
}

TEST(Collector, NamesInUtf8TakeTheirWholePathIntoUtf8)
{
	// Names that no code page and no short name carry, in a folder of a
	// Latin-1 name; a joined path holds at most 255 UTF-16 units.
	std::string fits;
	for (int i = 0; i < 244; i++)
		fits += "\xe6\x97\xa5";
	std::string tooLong = fits + "\xe6\x97\xa5.mp3";
	fits += ".mp3";
	folders = {
		{L"", {record("caf\xe9", DT_DIR)}},
		{L"\\caf\u00e9", {record("a.mp3", DT_REG), record("\xe6\x97\xa5", DT_DIR),
				 record(fits.c_str(), DT_REG), record(tooLong.c_str(), DT_REG),
				 record("z.mp3", DT_REG)}},
		{L"\\caf\u00e9\\\u65e5", {record("\xc3\xa9.mp3", DT_REG)}},
	};
	expectScan({"./caf\xe9/a.mp3", "./caf\xc3\xa9/\xe6\x97\xa5/\xc3\xa9.mp3",
		    "./caf\xc3\xa9/" + fits, "./caf\xe9/z.mp3"},
		   "tonvelo: ./caf\xc3\xa9/" + tooLong + ": File name too long\n");
}

TEST(Collector, WalksEachFolderOnceUnderTheFirstPathThatReachesIt)
{
	// V, a link, leads to X: listed after X, and before it; x.jpg, a
	// plain folder where all is left out, is X too. X and V are real, to
	// be identified and followed.
	links = {{L"\\V", L"\\X"}, {L"\\x.jpg", L"\\X"}};
	const std::vector<dirent> tops[] = {{record("X", DT_DIR), record("V", DT_LNK)},
					    {record("V", DT_LNK), record("X", DT_DIR)},
					    {record("x.jpg", DT_DIR), record("V", DT_LNK)}};
	const char *listed[] = {"./X/x.mp3", "./V/x.mp3", "./V/x.mp3"};
	std::filesystem::create_directories("X");
	std::filesystem::create_directories("V");
	for (int i = 0; i < 3; i++) {
		folders = {{L"", tops[i]}};
		for (const wchar_t *sub : {L"\\X", L"\\V", L"\\x.jpg"})
			folders[sub] = {record("x.mp3", DT_REG)};
		expectScan({listed[i]}, "");
	}
	std::filesystem::remove("X");
	std::filesystem::remove("V");
}

} // namespace
