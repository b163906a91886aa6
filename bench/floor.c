/* The floor of a size walk: one getdents64 read buffer shared by every level, one fstatat per
 * non-folder entry relative to its open folder, folders known by the entry type. A folder's
 * subfolders are entered after its listing ends, so the buffer is never needed by two levels. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char buffer[64 * 1024] __attribute__((aligned(8)));
static char* names; /* pending subfolder names of every open level, NUL-separated */
static size_t namesUsed, namesSize;
static uint64_t total;

static void keep(const char* name) {
  size_t length = strlen(name) + 1;
  if (namesUsed + length > namesSize) {
    namesSize = namesSize ? 2 * namesSize + length : 65536;
    names = realloc(names, namesSize);
    if (!names) exit(2);
  }
  memcpy(names + namesUsed, name, length);
  namesUsed += length;
}

static void walk(int fd) {
  size_t first = namesUsed;
  ssize_t n;
  while ((n = getdents64(fd, buffer, sizeof buffer)) > 0) {
    for (ssize_t at = 0; at < n;) {
      struct dirent64* d = (struct dirent64*)(buffer + at);
      at += d->d_reclen;
      const char* name = d->d_name;
      if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]))) continue;
      if (d->d_type == DT_DIR) {
        keep(name);
        continue;
      }
      struct stat st;
      if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISDIR(st.st_mode))
        keep(name);
      else if (S_ISREG(st.st_mode))
        total += (uint64_t)st.st_size;
    }
  }
  size_t last = namesUsed;
  for (size_t at = first; at < last; at += strlen(names + at) + 1) {
    int child = openat(fd, names + at, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0) continue;
    walk(child);
    close(child);
  }
  namesUsed = first;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  int fd = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 1;
  walk(fd);
  close(fd);
  printf("%llu\n", (unsigned long long)total);
  return 0;
}
