/* Makes a deterministic tree of sparse files and prints "files folders" (the top not counted).
 *   gentree source DIR FOLDERS  a source-tree shape: about four subfolders and five files a folder
 *   gentree wide DIR FILES      one folder of FILES files
 *   gentree chain DIR DEPTH     DEPTH nested folders, one small file in each
 *   gentree deep DIR DEPTH      DEPTH nested folders, a 1-byte file every 1,000 levels from the
 *                               top and 13 bytes at the bottom
 *   gentree stack DIR DEPTH     DEPTH nested folders, 2,000 files of 1 byte in each */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static uint64_t state = 0x9e3779b97f4a7c15ull;
static uint32_t next(void) { /* xorshift64*: the same tree on every machine */
  state ^= state >> 12;
  state ^= state << 25;
  state ^= state >> 27;
  return (uint32_t)((state * 0x2545f4914f6cdd1dull) >> 32);
}

static long files;

static void makeFile(int dir, const char* name, off_t size) {
  int fd = openat(dir, name, O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ftruncate(fd, size) != 0) {
    perror(name);
    exit(1);
  }
  close(fd);
  ++files;
}

static off_t sourceSize(void) { /* log-uniform up to 1 MiB, like source and object files */
  return (off_t)(next() % (1u << (next() % 21)));
}

static const char* kinds[] = {".c", ".h", ".cpp", ".txt", ".o", ".py", "", ".md"};

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const char* kind = argv[1];
  long count = atol(argv[3]);
  if (mkdir(argv[2], 0755) != 0) {
    perror(argv[2]);
    return 1;
  }
  int top = open(argv[2], O_RDONLY | O_DIRECTORY);
  char name[64];
  long folders = 0;
  if (strcmp(kind, "wide") == 0) {
    for (long i = 0; i < count; ++i) {
      snprintf(name, sizeof name, "entry%06ld.dat", i);
      makeFile(top, name, (off_t)(next() % 100000));
    }
  } else if (strcmp(kind, "chain") == 0 || strcmp(kind, "deep") == 0 ||
             strcmp(kind, "stack") == 0) {
    int every = strcmp(kind, "deep") == 0 ? 1000 : 1;
    int each = strcmp(kind, "stack") == 0 ? 2000 : 1;
    int dir = top;
    for (long i = 0; i < count; ++i) {
      for (int f = 0; f < each && i % every == 0; ++f) {
        snprintf(name, sizeof name, each > 1 ? "f%04d" : "file", f);
        makeFile(dir, name, 1);
      }
      if (mkdirat(dir, "level", 0755) != 0) {
        perror("mkdirat");
        return 1;
      }
      int child = openat(dir, "level", O_RDONLY | O_DIRECTORY);
      if (dir != top) close(dir);
      dir = child;
      ++folders;
    }
    if (every > 1) makeFile(dir, "file", 13);
    if (dir != top) close(dir);
  } else if (strcmp(kind, "source") == 0) {
    /* Folder i > 0 hangs below folder (i - 1) / 4 give or take, so the tree is about eight
     * levels deep at 40,000 folders; folders are made in order, so each parent exists. */
    char** paths = calloc((size_t)count + 1, sizeof *paths);
    paths[0] = strdup(".");
    for (long i = 0; i <= count; ++i) {
      if (i > 0) {
        long parent = (i - 1) / 4;
        if (parent > 0 && next() % 3 == 0) parent -= (long)(next() % 2);
        snprintf(name, sizeof name, "module%ld", i);
        size_t length = strlen(paths[parent]) + strlen(name) + 2;
        paths[i] = malloc(length);
        snprintf(paths[i], length, "%s/%s", paths[parent], name);
        if (mkdirat(top, paths[i], 0755) != 0) {
          perror(paths[i]);
          return 1;
        }
        ++folders;
      }
      int dir = openat(top, paths[i], O_RDONLY | O_DIRECTORY);
      long n = (long)(next() % 11);
      for (long f = 0; f < n; ++f) {
        snprintf(name, sizeof name, "source_%ld%s", f, kinds[next() % 8]);
        makeFile(dir, name, sourceSize());
      }
      close(dir);
    }
  } else {
    return 2;
  }
  printf("%ld %ld\n", files, folders);
  return 0;
}
