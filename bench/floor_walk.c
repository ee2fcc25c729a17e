/* The floor of building a folder's playlist: read every folder of the tree
 * once and stat every entry once. Usage: floor_walk FOLDER */
#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

static long walk(const char* folder) {
  DIR* dir = opendir(folder);
  long files = 0;
  if (!dir) return 0;
  struct dirent* entry;
  while ((entry = readdir(dir)) != NULL) {
    if (entry->d_name[0] == '.') continue;
    char path[4096];
    struct stat st;
    snprintf(path, sizeof path, "%s/%s", folder, entry->d_name);
    if (stat(path, &st) != 0) continue;
    if (S_ISDIR(st.st_mode))
      files += walk(path);
    else
      ++files;
  }
  closedir(dir);
  return files;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  printf("%ld\n", walk(argv[1]));
  return 0;
}
