/* The reference for the file-list benchmark: the least work a listing needs.
 * Reads a folder in one batch, stats every entry and reads each subfolder
 * until it has seen both a cover picture and a media file, then prints one
 * line per entry. */
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

static int hasExtension(const char* name, const char* ext) {
  const char* dot = strrchr(name, '.');
  return dot && strcasecmp(dot + 1, ext) == 0;
}

/* 1 when the folder holds media; its cover's name goes to cover. */
static int scanFolder(const char* folder, char* cover, size_t coverSize) {
  DIR* dir = opendir(folder);
  int media = 0;
  struct dirent* entry;
  cover[0] = 0;
  if (!dir) return 0;
  while ((entry = readdir(dir))) {
    if (!cover[0] && hasExtension(entry->d_name, "jpg")) snprintf(cover, coverSize, "%s", entry->d_name);
    if (hasExtension(entry->d_name, "mkv")) media = 1;
    if (media && cover[0]) break;
  }
  closedir(dir);
  return media;
}

int main(int argc, char** argv) {
  struct dirent** entries;
  char path[4096], cover[256];
  int count, i;
  if (argc != 2) return 2;
  count = scandir(argv[1], &entries, NULL, alphasort);
  if (count < 0) return 1;
  for (i = 0; i < count; ++i) {
    struct stat status;
    const char* name = entries[i]->d_name;
    if (name[0] != '.') {
      snprintf(path, sizeof path, "%s/%s", argv[1], name);
      if (stat(path, &status) != 0) return 1;
      if (S_ISDIR(status.st_mode))
        printf("%s %d %s\n", name, scanFolder(path, cover, sizeof cover), cover);
      else
        printf("%s\n", name);
    }
  }
  for (i = 0; i < count; ++i) free(entries[i]);
  free(entries);
  return 0;
}
