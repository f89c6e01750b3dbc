/* alternate RUNS INPUT PROGRAM...: starts each program in turn, RUNS rounds,
 * with INPUT as standard input and /dev/null as standard output; prints the
 * median wall time of each, from spawn to exit, in microseconds, in the
 * order given, a line each.  Taking
 * turns spreads any drift of the machine over all of them alike. */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

static int by_value(const void *a, const void *b) {
  double x = *(const double *)a, y = *(const double *)b;
  return (x > y) - (x < y);
}

int main(int argc, char **argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: alternate RUNS INPUT PROGRAM...\n");
    return 2;
  }
  int runs = atoi(argv[1]), programs = argc - 3;
  double *times = calloc((size_t)(runs * programs), sizeof *times);
  for (int run = 0; run < runs; ++run) {
    for (int p = 0; p < programs; ++p) {
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addopen(&actions, 0, argv[2], O_RDONLY, 0);
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
      char *child[] = {argv[3 + p], NULL};
      struct timespec start, stop;
      pid_t pid;
      int status;
      clock_gettime(CLOCK_MONOTONIC, &start);
      if (posix_spawn(&pid, argv[3 + p], &actions, NULL, child, environ) != 0 ||
          waitpid(pid, &status, 0) != pid || status != 0) {
        fprintf(stderr, "alternate: %s failed\n", argv[3 + p]);
        return 1;
      }
      clock_gettime(CLOCK_MONOTONIC, &stop);
      posix_spawn_file_actions_destroy(&actions);
      times[p * runs + run] =
          (double)(stop.tv_sec - start.tv_sec) * 1e6 + (double)(stop.tv_nsec - start.tv_nsec) / 1e3;
    }
  }
  for (int p = 0; p < programs; ++p) {
    qsort(times + p * runs, (size_t)runs, sizeof *times, by_value);
    printf("%.1f\n", times[p * runs + runs / 2]);
  }
  return 0;
}
