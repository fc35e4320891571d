// A platform root for a fuzz harness: one temporary folder per process, on
// /dev/shm when it exists so that the store's durable writes cost little.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

// Creates the folder, sets ZEBCFG_ROOT to it and makes its inf/ folder.
inline std::string make_fuzz_root() {
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string pattern = std::string(base) + "/zebcfg-fuzz-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) {
    std::perror("mkdtemp");
    abort();
  }
  setenv("ZEBCFG_ROOT", pattern.c_str(), 1);
  std::string inf = pattern + "/inf";
  if (mkdir(inf.c_str(), 0755) != 0) {
    std::perror("mkdir");
    abort();
  }
  return pattern;
}

// Fails the run with a message: what the platform answered is not what it
// must answer.
#define FUZZ_CHECK(condition)                                               \
  do {                                                                      \
    if (!(condition)) {                                                     \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                   #condition);                                             \
      abort();                                                              \
    }                                                                       \
  } while (0)
