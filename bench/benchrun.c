/* Runs one command with its output discarded, or written to the file BENCHRUN_OUT names; prints
 * its wall time, CPU time (user + system, children included) in seconds and its peak resident
 * memory in KiB. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double seconds(struct timeval t) {
  return (double)t.tv_sec + (double)t.tv_usec * 1e-6;
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid = fork();
  if (pid == 0) {
    const char* out = getenv("BENCHRUN_OUT");
    int fd = open(out ? out : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int status;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid) return 2;
  clock_gettime(CLOCK_MONOTONIC, &end);
  double wall = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) * 1e-9;
  printf("%.6f %.6f %ld\n", wall, seconds(usage.ru_utime) + seconds(usage.ru_stime),
         usage.ru_maxrss);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
