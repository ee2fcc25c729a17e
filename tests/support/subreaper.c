/*
 * subreaper PROGRAM [ARGUMENT...]: runs PROGRAM as the subreaper of its
 * descendants, so that a child that detaches itself (orvexbd) is reparented
 * to PROGRAM and its exit status can be collected. A test program sets this
 * itself; an emulated one cannot (user-mode qemu refuses the request), so the
 * build starts the emulator through this host program: the attribute
 * survives execve.
 */
#include <stdio.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc < 2) {
    fputs("usage: subreaper PROGRAM [ARGUMENT...]\n", stderr);
    return 2;
  }
  if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
    perror("prctl");
    return 1;
  }
  execvp(argv[1], argv + 1);
  perror(argv[1]);
  return 127;
}
