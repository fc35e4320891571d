// zebprobe: the differential probe of the platform layers (probe.h).
//
//   zebprobe inf SCRIPT [DIR]   the INF script runner (probe_inf.cpp)
//   zebprobe reg                the registry scenario (probe_registry.cpp)
#include <cstdio>
#include <cstring>

#include "probe.h"

int main(int argc, char** argv) {
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "inf") == 0) {
    return run_inf_script(argv[2], argc == 4 ? argv[3] : ".");
  }
  if (argc == 2 && std::strcmp(argv[1], "reg") == 0) {
    return run_registry_scenario();
  }
  std::printf("usage: zebprobe inf SCRIPT [DIR] | zebprobe reg\n");
  return 2;
}
