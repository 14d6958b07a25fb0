/* The floor tonvelo is measured against: the least a single-threaded walk
 * does to write the same playlist on Linux.
 *
 *   floor DIR OUT
 *
 * Each folder is opened relative to its parent and read with getdents64;
 * d_type alone tells a folder, so nothing is stat'ed and no link is
 * followed (a link is written as a file). Every other entry whose path
 * does not hold ".jpg" or ".m3u" is written to OUT as DIR/.../name, one a
 * line after the playlist's two header lines, in a random order as the
 * playlist is. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

struct linux_dirent64 {
	uint64_t d_ino;
	int64_t d_off;
	unsigned short d_reclen;
	unsigned char d_type;
	char d_name[];
};

static char *text;      /* every entry, each ending in '\n' */
static size_t text_used, text_room;
static size_t *starts;  /* where each entry begins in text */
static size_t count, starts_room;

static void *grow(void *p, size_t *room, size_t need, size_t size)
{
	if (need <= *room)
		return p;
	while (*room < need)
		*room = *room ? *room * 2 : 1 << 20;
	p = realloc(p, *room * size);
	if (!p) {
		perror("floor");
		exit(1);
	}
	return p;
}

static int left_out(const char *name)
{
	return strstr(name, ".jpg") || strstr(name, ".m3u");
}

static void add(const char *path, size_t len, const char *name)
{
	size_t n = strlen(name);
	text = grow(text, &text_room, text_used + len + n + 2, 1);
	starts = grow(starts, &starts_room, count + 1, sizeof *starts);
	starts[count++] = text_used;
	memcpy(text + text_used, path, len);
	text[text_used + len] = '/';
	memcpy(text + text_used + len + 1, name, n);
	text[text_used + len + 1 + n] = '\n';
	text_used += len + n + 2;
}

/* Reads the folder open on fd, whose path is path[0..len), and closes it. */
static void walk(int fd, char *path, size_t len)
{
	char buf[32768];
	long got;
	while ((got = syscall(SYS_getdents64, fd, buf, sizeof buf)) > 0) {
		for (long at = 0; at < got;) {
			struct linux_dirent64 *d = (struct linux_dirent64 *)(buf + at);
			const char *name = d->d_name;
			at += d->d_reclen;
			if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])))
				continue;
			if (left_out(name)) /* nothing below such a folder is listed either */
				continue;
			if (d->d_type != DT_DIR) {
				add(path, len, name);
				continue;
			}
			size_t n = strlen(name);
			if (len + n + 2 > PATH_MAX)
				continue;
			int child = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
			if (child < 0)
				continue;
			path[len] = '/';
			memcpy(path + len + 1, name, n + 1);
			walk(child, path, len + 1 + n);
			path[len] = '\0';
		}
	}
	close(fd);
}

static uint64_t next_random(uint64_t *s) /* splitmix64 */
{
	uint64_t z = (*s += 0x9e3779b97f4a7c15u);
	z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
	z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
	return z ^ (z >> 31);
}

int main(int argc, char **argv)
{
	if (argc != 3) {
		fprintf(stderr, "usage: floor DIR OUT\n");
		return 2;
	}
	static char path[PATH_MAX];
	size_t len = strlen(argv[1]);
	while (len > 0 && argv[1][len - 1] == '/')
		len--;
	if (len >= PATH_MAX)
		return 1;
	memcpy(path, argv[1], len);
	int fd = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0) {
		perror(argv[1]);
		return 1;
	}
	walk(fd, path, len);

	uint64_t seed = (uint64_t)time(NULL) ^ (uint64_t)getpid() << 32;
	for (size_t i = count; i > 1; i--) {
		size_t j = next_random(&seed) % i;
		size_t t = starts[i - 1];
		starts[i - 1] = starts[j];
		starts[j] = t;
	}
	FILE *out = fopen(argv[2], "w");
	if (!out) {
		perror(argv[2]);
		return 1;
	}
	setvbuf(out, NULL, _IOFBF, 1 << 20);
	fputs("#EXTM3U\n#created\n", out);
	for (size_t i = 0; i < count; i++) {
		const char *e = text + starts[i];
		fwrite(e, 1, (size_t)((const char *)memchr(e, '\n', text_used - starts[i]) - e) + 1, out);
	}
	return fclose(out) ? 1 : 0;
}
