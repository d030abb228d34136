// The floor of a run that reads nothing: stat() of each path listed, one per line, and nothing
// else. Prints the number of regular files found.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_stat_paths LIST\n");
    return 2;
  }
  std::FILE* list = std::fopen(argv[1], "r");
  if (!list) return 1;
  char line[8192];
  long found = 0;
  while (std::fgets(line, sizeof line, list)) {
    line[std::strcspn(line, "\n")] = '\0';
    struct stat st;
    if (::stat(line, &st) == 0 && S_ISREG(st.st_mode)) ++found;
  }
  std::fclose(list);
  std::printf("%ld\n", found);
  return 0;
}
