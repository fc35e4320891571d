#include "platform/posix/root_dir.h"

#include <cstdlib>

std::string platform_root_dir() {
  const char* root = std::getenv("ZEBCFG_ROOT");
  std::string dir =
      (root != nullptr && *root != '\0') ? root : "/var/lib/zebcfg";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string platform_inf_dir() { return posix_root_path("inf"); }

std::string posix_root_path(const char* leaf) {
  return platform_root_dir() + "/" + leaf;
}
