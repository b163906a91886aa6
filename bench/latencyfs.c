/* A read-only passthrough of a folder that waits MICROSECONDS in every lookup, status call,
 * opendir and readdir, as a slow disk or a share far away makes a walk wait. The kernel keeps no
 * entry, attribute or negative entry (timeouts 0) and listings carry no status (no readdirplus), so
 * every status call a walker makes reaches getattr here and waits; each request waits on its own
 * thread, up to max_threads at once (256 by default), so requests in flight overlap.
 *   latencyfs BACKING MOUNTPOINT MICROSECONDS [fuse options, e.g. -f to stay in the foreground]
 *   fusermount3 -u MOUNTPOINT
 * Build: gcc -O2 -Wall -o latencyfs bench/latencyfs.c $(pkg-config --cflags --libs fuse3) */
#define _GNU_SOURCE
#define FUSE_USE_VERSION 31
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static int backing = -1; /* the backing folder, open before the daemon detaches */
static long wait_ns;

static void latency(void) {
  struct timespec t = {wait_ns / 1000000000, wait_ns % 1000000000};
  while (clock_nanosleep(CLOCK_MONOTONIC, 0, &t, &t) == EINTR) {
  }
}

/* The backing path of a path under the mount: relative to the backing folder. */
static const char* inside(const char* path) {
  return path[1] ? path + 1 : ".";
}

static void* init(struct fuse_conn_info* conn, struct fuse_config* cfg) {
  conn->want &= ~(unsigned)(FUSE_CAP_READDIRPLUS | FUSE_CAP_READDIRPLUS_AUTO);
  cfg->entry_timeout = 0;
  cfg->attr_timeout = 0;
  cfg->negative_timeout = 0;
  cfg->use_ino = 1;
  return NULL;
}

/* Serves the kernel's LOOKUP as well as GETATTR. */
static int getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  latency();
  int done = fi ? fstat((int)fi->fh, st) : fstatat(backing, inside(path), st, AT_SYMLINK_NOFOLLOW);
  return done == 0 ? 0 : -errno;
}

static int readlink_(const char* path, char* buffer, size_t size) {
  ssize_t n = readlinkat(backing, inside(path), buffer, size - 1);
  if (n < 0) return -errno;
  buffer[n] = '\0';
  return 0;
}

/* An open folder and where its listing stands, so a listing read in several requests resumes. */
struct folder {
  DIR* dir;
  struct dirent* entry; /* read but not yet taken by the kernel's buffer */
  off_t offset;
};

static int opendir_(const char* path, struct fuse_file_info* fi) {
  latency();
  int fd = openat(backing, inside(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -errno;
  struct folder* f = calloc(1, sizeof *f);
  if (!f || !(f->dir = fdopendir(fd))) {
    int error = f ? errno : ENOMEM;
    free(f);
    close(fd);
    return -error;
  }
  fi->fh = (uint64_t)(uintptr_t)f;
  return 0;
}

static int readdir_(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                    struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
  (void)path;
  (void)flags;
  latency();
  struct folder* f = (struct folder*)(uintptr_t)fi->fh;
  if (offset != f->offset) {
    seekdir(f->dir, offset);
    f->entry = NULL;
    f->offset = offset;
  }
  for (;;) {
    if (!f->entry && !(f->entry = readdir(f->dir))) break;
    struct stat st = {.st_ino = f->entry->d_ino, .st_mode = (mode_t)(f->entry->d_type << 12)};
    off_t next = telldir(f->dir);
    if (fill(buffer, f->entry->d_name, &st, next, 0)) break;
    f->entry = NULL;
    f->offset = next;
  }
  return 0;
}

static int releasedir_(const char* path, struct fuse_file_info* fi) {
  (void)path;
  struct folder* f = (struct folder*)(uintptr_t)fi->fh;
  closedir(f->dir);
  free(f);
  return 0;
}

static int open_(const char* path, struct fuse_file_info* fi) {
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  int fd = openat(backing, inside(path), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -errno;
  fi->fh = (uint64_t)fd;
  return 0;
}

static int read_(const char* path, char* buffer, size_t size, off_t offset,
                 struct fuse_file_info* fi) {
  (void)path;
  ssize_t n = pread((int)fi->fh, buffer, size, offset);
  return n < 0 ? -errno : (int)n;
}

static int release_(const char* path, struct fuse_file_info* fi) {
  (void)path;
  close((int)fi->fh);
  return 0;
}

static int statfs_(const char* path, struct statvfs* vfs) {
  (void)path;
  return fstatvfs(backing, vfs) == 0 ? 0 : -errno;
}

static const struct fuse_operations operations = {
    .init = init,
    .getattr = getattr,
    .readlink = readlink_,
    .opendir = opendir_,
    .readdir = readdir_,
    .releasedir = releasedir_,
    .open = open_,
    .read = read_,
    .release = release_,
    .statfs = statfs_,
};

int main(int argc, char** argv) {
  char* end;
  long micros = argc >= 4 ? strtol(argv[3], &end, 10) : -1;
  if (argc < 4 || *end || micros < 0 || micros > 10000000) {
    fprintf(stderr, "usage: latencyfs BACKING MOUNTPOINT MICROSECONDS [fuse options]\n");
    return 2;
  }
  wait_ns = micros * 1000;
  backing = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (backing < 0) {
    perror(argv[1]);
    return 1;
  }
  /* The default slack of 50 us would add a quarter to a wait of 200 us; threads inherit it. */
  prctl(PR_SET_TIMERSLACK, 1000UL);
  /* Options given after these override them. */
  char** args = calloc((size_t)argc + 2, sizeof *args);
  int n = 0;
  args[n++] = argv[0];
  args[n++] = argv[2];
  args[n++] = "-o";
  args[n++] = "ro,fsname=latencyfs,max_threads=256,max_idle_threads=256";
  for (int i = 4; i < argc; ++i) args[n++] = argv[i];
  return fuse_main(n, args, &operations, NULL);
}
