// export: the key's subtree, depth first in the store's order, written to a
// new file beside the target that replaces it only once complete (a
// terminal, pipe or device is written directly).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_tree.h"
#include "regfile_write.h"
#include "zebreg_regfile.h"
#include "zebreg_registry.h"

namespace {

constexpr size_t kFlushBytes = 1 << 16;

// The file an export writes.
struct ExportFile {
  std::string target;  // the name given
  std::string temp;    // the new file that replaces it, "" when direct
  int fd;              // open for writing
};

// Output waiting for the file.
struct ExportSink {
  int fd;               // where it goes
  std::string pending;  // bytes not yet written
  int error;            // errno of the first failed write, 0 while none
};

mode_t current_umask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// Opens the file for target; 0 or the errno of the failure.
int open_export_file(const std::string& target, ExportFile* file) {
  file->target = target;
  file->temp.clear();
  struct stat status;
  bool exists = stat(target.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode)) return EISDIR;
  if (exists && !S_ISREG(status.st_mode)) {
    file->fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    return file->fd < 0 ? errno : 0;
  }
  file->temp = target + ".XXXXXX";
  file->fd = mkostemp(&file->temp[0], O_CLOEXEC);
  if (file->fd < 0) return errno;
  mode_t mode = exists ? status.st_mode & 07777 : 0666 & ~current_umask();
  fchmod(file->fd, mode);
  return 0;
}

// Closes the file; when complete, puts the new file in place of the target,
// else removes it. 0 or the errno of the failure.
int close_export_file(ExportFile* file, bool complete) {
  int error = close(file->fd) == 0 ? 0 : errno;
  if (file->temp.empty()) return error;
  if (complete && error == 0 &&
      rename(file->temp.c_str(), file->target.c_str()) != 0) {
    error = errno;
  }
  if (!complete || error != 0) unlink(file->temp.c_str());
  return error;
}

void flush(ExportSink* sink) {
  const char* data = sink->pending.data();
  size_t left = sink->pending.size();
  while (sink->error == 0 && left > 0) {
    ssize_t written = write(sink->fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) sink->error = errno;
    if (written > 0) {
      data += written;
      left -= static_cast<size_t>(written);
    }
  }
  sink->pending.clear();
}

// Writes key, named path, then each of its subkeys in turn with theirs.
StatusCode export_key(RegKey key, const std::string& path, ExportSink* sink) {
  regfile_write_key(path, &sink->pending);
  RegValue value;
  StatusCode status = W32_ERROR_SUCCESS;
  for (uint32_t index = 0; status == W32_ERROR_SUCCESS; ++index) {
    status = enum_value(key, index, &value);
    if (status == W32_ERROR_SUCCESS) regfile_write_value(value, &sink->pending);
  }
  if (status != W32_ERROR_NO_MORE_ITEMS) return status;
  regfile_write_key_end(&sink->pending);
  if (sink->pending.size() >= kFlushBytes) flush(sink);
  std::vector<std::string> children;
  status = subkey_names(key, &children);
  for (size_t i = 0; status == W32_ERROR_SUCCESS && i < children.size(); ++i) {
    RegKey child = nullptr;
    status = reg_open_key(key, children[i].c_str(), W32_KEY_READ, &child);
    if (status == W32_ERROR_FILE_NOT_FOUND) {
      status = W32_ERROR_SUCCESS;  // deleted since it was listed
      continue;
    }
    if (status != W32_ERROR_SUCCESS) break;
    status = export_key(child, path + "\\" + children[i], sink);
    reg_close_key(child);
  }
  return status;
}

// What reg prints when the file cannot be written.
void print_write_failure(int error, const std::string& file) {
  if (error == ENOENT || error == ENOTDIR) {
    std::printf("Path not found.\n");
  } else if (error == EACCES || error == EPERM || error == EISDIR ||
             error == EROFS) {
    std::printf("Access denied.\n");
  } else {
    std::printf("reg: Unable to write the file '%s': %s\n", file.c_str(),
                std::strerror(error));
  }
}

int export_to_file(const RegCommand& cmd, RegKey key) {
  struct stat existing;
  if (!cmd.overwrite && stat(cmd.file.c_str(), &existing) == 0) {
    std::printf(
        "reg: The file '%s' already exists and was not overwritten (/y "
        "overwrites it)\n",
        cmd.file.c_str());
    return 1;
  }
  ExportFile file;
  int error = open_export_file(cmd.file, &file);
  if (error != 0) {
    print_write_failure(error, cmd.file);
    return 1;
  }
  ExportSink sink{file.fd, std::string(), 0};
  regfile_write_header(&sink.pending);
  StatusCode status = export_key(key, cmd.display, &sink);
  if (status == W32_ERROR_SUCCESS) flush(&sink);
  bool complete = status == W32_ERROR_SUCCESS && sink.error == 0;
  error = close_export_file(&file, complete);
  if (status != W32_ERROR_SUCCESS) {
    std::printf(
        "reg: Unable to read the registry (error %u); '%s' was not "
        "written\n",
        status, cmd.file.c_str());
    return 1;
  }
  if (sink.error != 0 || error != 0) {
    print_write_failure(sink.error != 0 ? sink.error : error, cmd.file);
    return 1;
  }
  return 0;
}

}  // namespace

int run_export(const RegCommand& cmd) {
  RegKey key = nullptr;
  if (reg_open_key(reg_local_machine(), cmd.subpath.c_str(), W32_KEY_READ,
                   &key) != W32_ERROR_SUCCESS) {
    std::printf("reg: Unable to find the specified registry key\n");
    return 1;
  }
  // The file holds one state of the keys where the store can give one;
  // without it each key is read as it is when the export reaches it, as on
  // Windows.
  bool snapshot = reg_begin_snapshot() == W32_ERROR_SUCCESS;
  int code = export_to_file(cmd, key);
  if (snapshot) reg_end_snapshot();
  reg_close_key(key);
  return code;
}
