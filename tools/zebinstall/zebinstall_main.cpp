// zebinstall [SECTION] FILE: installs an INF section into the POSIX platform
// as rundll32 setupapi.dll,InstallHinfSection does on Windows.
//
// Exit codes: 0 installed; 1 refused before anything was written (the file,
// the section, a line this tool does not apply, a missing source file, a
// store the caller may not write); 2 usage; 3 a write failed: the section's
// registry entries land together or not at all, files already copied stay.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "install_apply.h"
#include "install_plan.h"
#include "platform/folders.h"
#include "platform/inf.h"
#include "platform/version.h"

#ifndef ZEBCFG_VERSION
#define ZEBCFG_VERSION "0.0.0"
#endif

namespace {

constexpr int kExitInstalled = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr int kExitPartial = 3;

const char kUsage[] =
    "usage: zebinstall [SECTION] FILE\n"
    "Installs SECTION (default DefaultInstall) of the INF file FILE:\n"
    "CopyFiles into $ZEBCFG_ROOT/inf, then DelReg and AddReg into the store.\n";

const char kHelp[] =
    "zebinstall: installs a section of an INF file into the native zebcfg\n"
    "platform, as rundll32 setupapi.dll,InstallHinfSection does on Windows\n"
    "\n"
    "  zebinstall [SECTION] FILE  install SECTION (default DefaultInstall)\n"
    "  zebinstall --help          this text\n"
    "  zebinstall --version       the version\n"
    "\n"
    "CopyFiles go into $ZEBCFG_ROOT/inf, then DelReg and AddReg into the\n"
    "store. Exit codes: 0 installed, 1 refused before anything was written,\n"
    "2 usage, 3 a write failed.\n"
    "See zebinstall(1).\n";

int fail(int code, const std::string& text) {
  std::fprintf(stderr, "zebinstall: %s\n", text.c_str());
  return code;
}

std::string open_failure(StatusCode status) {
  if (status == W32_ERROR_FILE_NOT_FOUND ||
      status == W32_ERROR_PATH_NOT_FOUND) {
    return "no such file";
  }
  if (status == W32_ERROR_WRONG_INF_STYLE) {
    return "not an INF file ([Version] has no Windows NT signature)";
  }
  return "cannot be read (status " + std::to_string(status) + ")";
}

// A file name without a folder names a file in the current folder, never
// one in the INF folder.
std::string file_path(const char* name) {
  return std::strpbrk(name, "/") != nullptr ? name : std::string("./") + name;
}

// Makes sure the store's root exists and that the caller may write it.
int check_store_writable(std::string* reason) {
  std::string root = platform_root_dir();
  std::error_code failure;
  std::filesystem::create_directories(root, failure);
  if (failure) {
    *reason = "cannot create " + root + ": " + failure.message();
    return kExitRefused;
  }
  if (!platform_is_user_admin()) {
    *reason = "not allowed to write the store in " + root;
    return kExitRefused;
  }
  return kExitInstalled;
}

// Reads and checks section of the file opened as path (named shown in
// messages), then applies it.
int install(const std::string& section, const std::string& path,
            const std::string& shown) {
  InfHandle inf = nullptr;
  StatusCode status = inf_open(path.c_str(), &inf);
  if (status != W32_ERROR_SUCCESS)
    return fail(kExitRefused, shown + ": " + open_failure(status));
  std::string source_dir = std::filesystem::path(path).parent_path().string();
  InstallPlan plan;
  std::string error;
  status = plan_install(inf, source_dir.empty() ? "." : source_dir, section,
                        &plan, &error);
  inf_close(inf);
  if (status != W32_ERROR_SUCCESS)
    return fail(kExitRefused, shown + ": " + error);
  int code = check_store_writable(&error);
  if (code != kExitInstalled) return fail(code, error);
  InstallCounts counts = {};
  status = apply_install(plan, platform_inf_dir(), &counts, &error);
  if (status != W32_ERROR_SUCCESS) {
    return fail(kExitPartial, shown + ": " + error);
  }
  std::printf(
      "zebinstall: installed [%s] of %s: files copied %u, registry entries "
      "written %u, deleted %u, kept %u\n",
      plan.section.c_str(), shown.c_str(), counts.files, counts.written,
      counts.deleted, counts.kept);
  return kExitInstalled;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 ||
                    std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return kExitInstalled;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("zebinstall %s\n", ZEBCFG_VERSION);
    return kExitInstalled;
  }
  if (argc < 2 || argc > 3 || argv[argc - 1][0] == '\0' ||
      (argc == 3 && argv[1][0] == '\0')) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  std::string section = argc == 3 ? argv[1] : "DefaultInstall";
  return install(section, file_path(argv[argc - 1]), argv[argc - 1]);
}
