// The collector on Windows over a stand-in for the directory streams, so
// that records the real volume never hands out under Wine (the substitute
// for a name without bytes) reach it all the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

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

std::map<std::string, std::vector<dirent>> folders;

// Each open stream: the folder it reads and how far.
struct Reading {
	std::string folder;
	std::size_t next;
};
std::map<DIR *, Reading> streams;

} // namespace

DIR *opendir(const char *name)
{
	if (folders.count(name) == 0) {
		errno = ENOENT;
		return nullptr;
	}
	DIR *dir = new DIR();
	streams[dir] = Reading{name, 0};
	return dir;
}

dirent *readdir(DIR *dir)
{
	Reading &r = streams.at(dir);
	const std::vector<dirent> &records = folders[r.folder];
	if (r.next == records.size())
		return nullptr;
	dir->ent = records[r.next++];
	// As readdir says it of the substitute, whose long name holds ".mp3".
	dir->unlisted = dir->ent.d_reclen == 0 ? "name not representable, left out" : nullptr;
	std::strcpy(dir->longName, dir->ent.d_reclen == 0 ? "\xe6\x97\xa5.mp3" : "");
	return &dir->ent;
}

int closedir(DIR *dir)
{
	streams.erase(dir);
	delete dir;
	return 0;
}

namespace {

TEST(Collector, SkipsAndReportsTheSubstituteRecord)
{
	folders = {
		{"lib", {record(".", DT_DIR), record("..", DT_DIR), record("a.mp3", DT_REG),
			 substitute(), record("sub", DT_DIR)}},
		{"lib/sub", {record(".", DT_DIR), substitute(), record("b.mp3", DT_REG),
			     record("..", DT_DIR)}},
	};
	clearMediaList();
	testing::internal::CaptureStderr();
	scanFolder("lib");
	std::string err = testing::internal::GetCapturedStderr();
	err.erase(std::remove(err.begin(), err.end(), '\r'), err.end());

	std::vector<std::string> got(mediaList.paths.begin(), mediaList.paths.end());
	EXPECT_EQ(got, (std::vector<std::string>{"lib/a.mp3", "lib/sub/b.mp3"}));
	EXPECT_EQ(err, "tonvelo: lib/?: name not representable, left out\n"
		       "tonvelo: lib/sub/?: name not representable, left out\n");
	EXPECT_TRUE(streams.empty()) << "every stream is closed";
	clearMediaList();
}

} // namespace
