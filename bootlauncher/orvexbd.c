/*
 * orvexbd: started at boot, detaches, waits up to a minute for the add-on's
 * storage to be mounted and then runs the add-on's start script once.
 * Progress goes to the system log only (and to standard error, LOG_PERROR).
 */
#define _POSIX_C_SOURCE 200809L

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

/* The only fixed paths of the launcher; TAVORC_ROOT, when set, goes in front. */
static const char ADDON_DIR[] = "/persistfs/orvex";
static const char START_SCRIPT[] = "/persistfs/orvex/orvex.sh";
static const char START_ARG[] = "start";

static const char LOG_IDENT[] = "orvexbd";

enum {
  TRIES = 12,
  PAUSE_BEFORE_TRY = 5, /* seconds */
  PAUSE_AFTER_FOUND = 1 /* seconds */
};

enum message { MSG_STARTED, MSG_NOT_MOUNTED, MSG_MOUNTED, MSG_TERMINATED, MSG_TIMED_OUT };

static const char *const MESSAGES[] = {
    [MSG_STARTED] = "*-----orvexbd started",
    [MSG_NOT_MOUNTED] = "*-----external storage is not mounted",
    [MSG_MOUNTED] = "*-----external storage device is mounted, 'orvex.sh start' executed",
    [MSG_TERMINATED] = "*-----orvexbd terminated",
    [MSG_TIMED_OUT] = "*-----orvexbd terminated by time",
};

/*
 * Only the tests set this: the number of milliseconds one second of pause
 * lasts, so that a minute of polling can be tested in a few seconds.
 */
static const char TEST_SECOND_MS_ENV[] = "ORVEXBD_TEST_SECOND_MS";

static long test_second_ms; /* 0: real seconds */

static void say(enum message m) { syslog(LOG_INFO, "%s", MESSAGES[m]); }

static void pause_seconds(unsigned seconds) {
  if (test_second_ms <= 0) {
    while (seconds > 0) seconds = sleep(seconds);
    return;
  }
  long ms = test_second_ms * (long)seconds;
  struct timespec left = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR)
    ;
}

static long read_test_second_ms(void) {
  const char *v = getenv(TEST_SECOND_MS_ENV);
  if (v == NULL || *v == '\0') return 0;
  char *end;
  long ms = strtol(v, &end, 10);
  if (*end != '\0' || ms <= 0 || ms > 1000) return 0;
  return ms;
}

/* Returns a new string: root followed by path, or path alone without a root. */
static char *rooted(const char *root, const char *path) {
  size_t rl = strlen(root), pl = strlen(path);
  char *s = malloc(rl + pl + 1);
  if (s == NULL) return NULL;
  memcpy(s, root, rl);
  memcpy(s + rl, path, pl + 1);
  return s;
}

/*
 * Returns a new string: the shell command running script with arg, the
 * script path in single quotes (a quote inside becomes '\'') so that a root
 * with blanks or shell characters stays one word.
 */
static char *start_command(const char *script, const char *arg) {
  size_t quotes = 0;
  for (const char *p = script; *p; p++) quotes += (*p == '\'');
  size_t len = strlen(script) + 3 * quotes + 2 + 1 + strlen(arg);
  char *cmd = malloc(len + 1);
  if (cmd == NULL) return NULL;
  char *o = cmd;
  *o++ = '\'';
  for (const char *p = script; *p; p++) {
    if (*p == '\'') {
      memcpy(o, "'\\''", 4);
      o += 4;
    } else {
      *o++ = *p;
    }
  }
  *o++ = '\'';
  *o++ = ' ';
  strcpy(o, arg);
  return cmd;
}

static void detach(void) {
  pid_t pid = fork();
  if (pid < 0) exit(1);
  if (pid > 0) exit(0);
  umask(0);
  if (setsid() < 0) exit(1);
  if (chdir("/") != 0) exit(1);
}

/* Polls for the add-on's directory; runs the start command once it is there. */
static void wait_and_start(const char *dir, const char *command) {
  for (int i = 0; i < TRIES; i++) {
    pause_seconds(PAUSE_BEFORE_TRY);
    DIR *d = opendir(dir);
    if (d == NULL) {
      say(MSG_NOT_MOUNTED);
      continue;
    }
    pause_seconds(PAUSE_AFTER_FOUND);
    say(MSG_MOUNTED);
    /* the script's own exit status does not matter to the launcher */
    int status = system(command);
    (void)status;
    say(MSG_TERMINATED);
    closelog();
    closedir(d);
    exit(0);
  }
  say(MSG_TIMED_OUT);
  closelog();
  exit(0);
}

int main(void) {
  const char *root = getenv("TAVORC_ROOT");
  if (root == NULL) root = "";
  test_second_ms = read_test_second_ms();

  char *dir = rooted(root, ADDON_DIR);
  char *script = rooted(root, START_SCRIPT);
  char *command = script ? start_command(script, START_ARG) : NULL;
  if (dir == NULL || command == NULL) return 1;
  free(script);

  detach();
  openlog(LOG_IDENT, LOG_PID | LOG_PERROR, LOG_USER);
  say(MSG_STARTED);
  wait_and_start(dir, command);
  return 0;
}
