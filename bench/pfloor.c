/* The floor of a size walk on several threads: the floor's system calls (getdents64 into a buffer
 * of each thread's own, one fstatat per non-folder entry, folders by entry type), with the
 * folders still to list on one stack that every thread shares, each held open. A thread takes
 * the folder on top, pushes its subfolders and counts its files; the walk ends when every thread
 * waits on an empty stack. Usage: pfloor DIR THREADS */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t wake = PTHREAD_COND_INITIALIZER;
static int* stack; /* open folders not yet listed */
static size_t depth, room;
static int threads, idle;
static uint64_t total;

static void push(int fd) {
  pthread_mutex_lock(&lock);
  if (depth == room) {
    room = room ? 2 * room : 1024;
    stack = realloc(stack, room * sizeof *stack);
    if (!stack) exit(2);
  }
  stack[depth++] = fd;
  pthread_cond_signal(&wake);
  pthread_mutex_unlock(&lock);
}

/* The next folder to list, or -1 once every thread waits on an empty stack. */
static int pop(void) {
  pthread_mutex_lock(&lock);
  ++idle;
  if (idle == threads && depth == 0) pthread_cond_broadcast(&wake);
  while (depth == 0 && idle < threads) pthread_cond_wait(&wake, &lock);
  int fd = depth > 0 ? stack[--depth] : -1;
  if (fd >= 0) --idle;
  pthread_mutex_unlock(&lock);
  return fd;
}

static void* walker(void* unused) {
  (void)unused;
  static __thread char buffer[64 * 1024] __attribute__((aligned(8)));
  uint64_t bytes = 0;
  int fd;
  while ((fd = pop()) >= 0) {
    ssize_t n;
    while ((n = getdents64(fd, buffer, sizeof buffer)) > 0) {
      for (ssize_t at = 0; at < n;) {
        struct dirent64* d = (struct dirent64*)(buffer + at);
        at += d->d_reclen;
        const char* name = d->d_name;
        if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]))) continue;
        if (d->d_type == DT_DIR) {
          int child = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
          if (child >= 0) push(child);
          continue;
        }
        struct stat st;
        if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(st.st_mode)) bytes += (uint64_t)st.st_size;
      }
    }
    close(fd);
  }
  pthread_mutex_lock(&lock);
  total += bytes;
  pthread_mutex_unlock(&lock);
  return NULL;
}

int main(int argc, char** argv) {
  if (argc != 3 || (threads = atoi(argv[2])) < 1) return 2;
  /* Every folder waiting on the stack is open. */
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  int fd = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 1;
  push(fd);
  pthread_t* ids = calloc((size_t)threads, sizeof *ids);
  for (int i = 1; i < threads; ++i) pthread_create(&ids[i], NULL, walker, NULL);
  walker(NULL);
  for (int i = 1; i < threads; ++i) pthread_join(ids[i], NULL);
  printf("%llu\n", (unsigned long long)total);
  return 0;
}
