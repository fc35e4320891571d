// The platform's folders on Windows: the Windows folder and its inf folder.
#include "platform/folders.h"
#include "platform/win32/win32_error.h"

std::string platform_root_dir() {
  char path[MAX_PATH + 1];
  UINT length = GetWindowsDirectoryA(path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return std::string();
  return std::string(path, length);
}

std::string platform_inf_dir() {
  std::string windows = platform_root_dir();
  return windows.empty() ? windows : windows + "\\inf";
}
