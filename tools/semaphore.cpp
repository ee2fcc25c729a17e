// semaphore: the request semaphore of a sandbox root, named as tavorc names
// it, for the scripts that watch it (the campaigns).
//
//   semaphore ROOT            prints its name and value ("/tavoorvex-0A1B2C3D4E5F 1")
//   semaphore ROOT --highest  samples the value every millisecond until
//                             SIGTERM or SIGINT, then prints the highest seen
//   semaphore ROOT --unlink   removes it (none there is no failure)
//
// Fails with a message (exit status 1) when the root has no semaphore, so
// that a watcher never reports figures of a semaphore nobody uses.
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/paths.h"

namespace {

const long kSampleNanoseconds = 1000000;

volatile sig_atomic_t g_stop = 0;

void onStop(int) { g_stop = 1; }

int fail(const std::string& name, const char* root) {
  fprintf(stderr, "semaphore: %s (the semaphore of %s): %s\n", name.c_str(), root, strerror(errno));
  return 1;
}

int highest(sem_t* semaphore) {
  struct sigaction action = {};
  action.sa_handler = onStop;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  int most = 0;
  const struct timespec pause = {0, kSampleNanoseconds};
  while (!g_stop) {
    int value = 0;
    if (sem_getvalue(semaphore, &value) == 0 && value > most) most = value;
    nanosleep(&pause, nullptr);
  }
  printf("%d\n", most);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[2] : "";
  if ((argc != 2 && argc != 3) || (argc == 3 && mode != "--highest" && mode != "--unlink")) {
    fprintf(stderr, "usage: semaphore ROOT [--highest | --unlink]\n");
    return 2;
  }
  const char* root = argv[1];
  const std::string name = semaphoreNameFor(root);
  if (mode == "--unlink") return sem_unlink(name.c_str()) == 0 || errno == ENOENT ? 0 : fail(name, root);
  sem_t* semaphore = sem_open(name.c_str(), 0);
  if (semaphore == SEM_FAILED) return fail(name, root);
  if (mode == "--highest") return highest(semaphore);
  int value = 0;
  if (sem_getvalue(semaphore, &value) != 0) return fail(name, root);
  printf("%s %d\n", name.c_str(), value);
  return 0;
}
