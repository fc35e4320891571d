#include "registry_limits.h"

namespace {

constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
constexpr size_t kMaxDepth = 512;

std::string too_long(const char* what, size_t length, size_t limit) {
  return std::string(what) + " of " + std::to_string(length) +
         " characters, more than the registry's " + std::to_string(limit);
}

}  // namespace

std::string key_path_beyond_limits(const std::u16string& path) {
  size_t depth = 0;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    size_t length = end - start;
    if (length > kMaxKeyName)
      return too_long("a key name", length, kMaxKeyName);
    if (length > 0) ++depth;
    start = end + 1;
  }
  if (depth <= kMaxDepth) return "";
  return "a key " + std::to_string(depth) +
         " levels below HKEY_LOCAL_MACHINE, more than the registry's " +
         std::to_string(kMaxDepth);
}

std::string value_name_beyond_limits(const std::u16string& name) {
  if (name.size() <= kMaxValueName) return "";
  return too_long("a value name", name.size(), kMaxValueName);
}
