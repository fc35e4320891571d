// import: the registry file read one statement at a time and applied inside
// one group of writes, which lands only when the whole file has been read
// and written; the first line that cannot be read or written abandons it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/registry.h"
#include "platform/registry_tree.h"
#include "regfile_read.h"
#include "zebreg_regfile.h"
#include "zebreg_registry.h"

namespace {

// Reads the whole file at path into *bytes; 0 or the errno of the failure.
int read_file(const std::string& path, std::string* bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat status;
  int error = fstat(fd, &status) == 0 ? 0 : errno;
  if (error == 0 && S_ISDIR(status.st_mode)) error = EISDIR;
  char block[1 << 16];
  while (error == 0) {
    ssize_t got = read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    bytes->append(block, static_cast<size_t>(got));
  }
  close(fd);
  return error;
}

void print_failure(const std::string& file, size_t line,
                   const std::string& reason) {
  std::printf(
      "reg: Unable to import '%s': line %zu: %s; nothing was "
      "imported\n",
      file.c_str(), line, reason.c_str());
}

std::string failed(const char* what, StatusCode status) {
  return std::string(what) + " (error " + std::to_string(status) + ")";
}

// Applies one statement; *key is the key that value lines write to.
bool apply_entry(const RegFileEntry& entry, RegKey* key, std::string* reason) {
  StatusCode status = W32_ERROR_SUCCESS;
  const char* what = "";
  if (entry.action == RegFileAction::kKey ||
      entry.action == RegFileAction::kDeleteKey) {
    reg_close_key(*key);
    *key = nullptr;
  }
  switch (entry.action) {
    case RegFileAction::kKey:
      what = "the key cannot be created";
      status = reg_create_key(reg_local_machine(), entry.path.c_str(),
                              W32_KEY_ALL_ACCESS, key, nullptr);
      break;
    case RegFileAction::kDeleteKey:
      what = "the key cannot be deleted";
      status = delete_key_path(entry.path);
      if (status == W32_ERROR_FILE_NOT_FOUND) status = W32_ERROR_SUCCESS;
      break;
    case RegFileAction::kValue:
      what = "the value cannot be written";
      status =
          reg_set_value(*key, entry.name.c_str(), entry.type, entry.data.data(),
                        static_cast<uint32_t>(entry.data.size()));
      break;
    case RegFileAction::kDeleteValue:
      what = "the value cannot be deleted";
      status = reg_delete_value(*key, entry.name.c_str());
      if (status == W32_ERROR_FILE_NOT_FOUND) status = W32_ERROR_SUCCESS;
      break;
  }
  if (status == W32_ERROR_SUCCESS) return true;
  *reason = failed(what, status);
  return false;
}

// Reads and applies every statement after the header; prints the first
// failure.
bool apply_file(RegFileReader* reader, const std::string& file) {
  RegFileEntry entry;
  RegKey key = nullptr;
  std::string reason;
  RegFileStatus status;
  while ((status = regfile_next(reader, &entry, &reason)) ==
         RegFileStatus::kEntry) {
    if (!apply_entry(entry, &key, &reason)) break;
  }
  reg_close_key(key);
  if (status == RegFileStatus::kEnd) return true;
  print_failure(file, reader->line_number, reason);
  return false;
}

}  // namespace

int run_import(const RegCommand& cmd) {
  std::string bytes;
  int error = read_file(cmd.file, &bytes);
  if (error == ENOENT || error == ENOTDIR || error == EISDIR) {
    std::printf("reg: The file '%s' was not found.\n", cmd.file.c_str());
    return 1;
  }
  if (error != 0) {
    std::printf("reg: Unable to read the file '%s': %s\n", cmd.file.c_str(),
                std::strerror(error));
    return 1;
  }
  RegFileReader reader;
  if (!regfile_open(bytes, &reader)) {
    print_failure(cmd.file, 1,
                  "not a registry file: the first line is neither \"Windows "
                  "Registry Editor Version 5.00\" nor \"REGEDIT4\"");
    return 1;
  }
  StatusCode status = reg_begin_group();
  if (status != W32_ERROR_SUCCESS) {
    std::printf(
        "reg: Unable to import '%s': the store cannot be written "
        "(error %u)\n",
        cmd.file.c_str(), status);
    return 1;
  }
  if (!apply_file(&reader, cmd.file)) {
    reg_abandon_group();
    return 1;
  }
  status = reg_end_group();
  if (status != W32_ERROR_SUCCESS) {
    std::printf(
        "reg: Unable to import '%s': the store could not keep it "
        "(error %u); nothing was imported\n",
        cmd.file.c_str(), status);
    return 1;
  }
  return 0;
}
