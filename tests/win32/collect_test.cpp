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

struct Record {
	std::string name;  // as readdir hands it out
	std::wstring wide; // the name it stands for
	std::int32_t type;
	bool inUtf8;
};

Record record(const char *name, std::int32_t type)
{
	return Record{name, widen(name), type, false};
}

// What readdir gives for a name without bytes.
Record substitute()
{
	return Record{"?", L"?", DT_UNKNOWN, false};
}

std::wstring root; // the folder scanned, as the scan opens it
// By their paths below root; a link's path may stand for another's folder.
std::map<std::wstring, std::vector<Record>> folders;
std::map<std::wstring, std::wstring> links;

struct Reading {
	const std::vector<Record> *records;
	std::size_t next;
};
std::map<DIR *, Reading> streams;

} // namespace

int mapFindError(DWORD)
{
	return ENOENT;
}

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
	streams[dir] = Reading{&folders[path], 0};
	return dir;
}

dirent *readdir(DIR *dir)
{
	Reading &r = streams.at(dir);
	if (r.next == r.records->size())
		return nullptr;
	const Record &rec = (*r.records)[r.next++];
	std::strcpy(dir->ent.d_name, rec.name.c_str());
	std::wcscpy(dir->wdirp->ent.d_name, rec.wide.c_str());
	dir->wdirp->ent.d_namlen = rec.wide.size();
	dir->ent.d_type = rec.type;
	dir->nameInUtf8 = rec.inUtf8;
	// As readdir says it of the substitute, whose long name holds ".mp3".
	bool substituted = rec.type == DT_UNKNOWN;
	dir->unlisted = substituted ? "name not representable, left out" : nullptr;
	std::strcpy(dir->longName, substituted ? "\xe6\x97\xa5.mp3" : "");
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

// Scans the current folder, which is real (held and identified), over the
// records of folders. Returns the entries, and the reports in *err.
std::vector<std::string> scan(std::string *err)
{
	root.clear();
	clearMediaList();
	testing::internal::CaptureStderr();
	scanFolder(".");
	*err = testing::internal::GetCapturedStderr();
	err->erase(std::remove(err->begin(), err->end(), '\r'), err->end());
	std::vector<std::string> got(mediaList.paths.begin(), mediaList.paths.end());
	clearMediaList();
	EXPECT_TRUE(streams.empty()) << "every stream is closed";
	return got;
}

TEST(Collector, SkipsAndReportsTheSubstituteRecord)
{
	folders = {
		{L"", {record(".", DT_DIR), record("..", DT_DIR), record("a.mp3", DT_REG),
		       substitute(), record("sub", DT_DIR)}},
		{L"\\sub", {record(".", DT_DIR), substitute(), record("b.mp3", DT_REG),
			     record("..", DT_DIR)}},
	};
	std::string err;
	EXPECT_EQ(scan(&err), (std::vector<std::string>{"./a.mp3", "./sub/b.mp3"}));
	EXPECT_EQ(err, "tonvelo: ./?: name not representable, left out\n"
		       "tonvelo: ./sub/?: name not representable, left out\n");
}

TEST(Collector, NamesInUtf8TakeTheirWholePathIntoUtf8)
{
	// Names that no code page and no short name carry, in a folder of a
	// Latin-1 name; a joined path holds at most 255 UTF-16 units.
	std::wstring fits = std::wstring(244, L'\u65e5') + L".mp3";
	std::string fitsUtf8;
	for (int i = 0; i < 244; i++)
		fitsUtf8 += "\xe6\x97\xa5";
	folders = {
		{L"", {record("caf\xe9", DT_DIR)}},
		{L"\\caf\u00e9", {record("a.mp3", DT_REG),
				 Record{"\xe6\x97\xa5", L"\u65e5", DT_DIR, true},
				 Record{fitsUtf8 + ".mp3", fits, DT_REG, true},
				 Record{fitsUtf8 + "\xe6\x97\xa5.mp3", L"\u65e5" + fits, DT_REG, true},
				 record("z.mp3", DT_REG)}},
		{L"\\caf\u00e9\\\u65e5", {Record{"\xc3\xa9.mp3", L"\u00e9.mp3", DT_REG, true}}},
	};
	std::string err;
	EXPECT_EQ(scan(&err), (std::vector<std::string>{"./caf\xe9/a.mp3",
						   "./caf\xc3\xa9/\xe6\x97\xa5/\xc3\xa9.mp3",
						   "./caf\xc3\xa9/" + fitsUtf8 + ".mp3", "./caf\xe9/z.mp3"}));
	EXPECT_EQ(err, "tonvelo: ./caf\xc3\xa9/" + fitsUtf8 + "\xe6\x97\xa5.mp3: File name too long\n");
}

TEST(Collector, WalksEachFolderOnceUnderTheFirstPathThatReachesIt)
{
	// V, a link, leads to X: listed after X, and before it; x.jpg, a
	// plain folder where all is left out, is X too. X and V are real, to
	// be identified and followed.
	links = {{L"\\V", L"\\X"}, {L"\\x.jpg", L"\\X"}};
	const std::vector<Record> tops[] = {{record("X", DT_DIR), record("V", DT_LNK)},
					    {record("V", DT_LNK), record("X", DT_DIR)},
					    {record("x.jpg", DT_DIR), record("V", DT_LNK)}};
	const char *listed[] = {"./X/x.mp3", "./V/x.mp3", "./V/x.mp3"};
	std::filesystem::create_directories("X");
	std::filesystem::create_directories("V");
	std::string err;
	for (int i = 0; i < 3; i++) {
		folders = {{L"", tops[i]}};
		for (const wchar_t *sub : {L"\\X", L"\\V", L"\\x.jpg"})
			folders[sub] = {record("x.mp3", DT_REG)};
		EXPECT_EQ(scan(&err), std::vector<std::string>{listed[i]});
		EXPECT_EQ(err, "");
	}
	links.clear();
	std::filesystem::remove("X");
	std::filesystem::remove("V");
}

} // namespace
