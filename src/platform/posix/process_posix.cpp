// The running process and child processes on POSIX. The command line of the
// process is rebuilt from argv with Windows quoting; a child's command line is
// split by the Windows C runtime's rules and the program started directly,
// with a PATH search, so that a program that cannot be started is a start
// failure.
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/posix/command_line.h"
#include "platform/posix/errno_status.h"
#include "platform/posix/fault.h"
#include "platform/posix/live_handles.h"
#include "platform/process.h"

extern char** environ;

struct ProcessHandleData {
  pid_t pid;
  bool reaped;  // true once waitpid has collected the status
  int status;   // waitpid status, valid when reaped
};

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Appends count backslashes to out.
void append_backslashes(std::string* out, size_t count) {
  out->append(count, '\\');
}

bool needs_quotes(const std::string& arg) {
  return arg.empty() || arg.find_first_of(" \t\n\v\"") != std::string::npos;
}

void append_quoted(std::string* out, const std::string& arg) {
  out->push_back('"');
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      append_backslashes(out, backslashes * 2 + 1);
    } else {
      append_backslashes(out, backslashes);
    }
    backslashes = 0;
    out->push_back(c);
  }
  append_backslashes(out, backslashes * 2);
  out->push_back('"');
}

// Reads the whole of a small file such as /proc/self/cmdline.
bool read_file(const char* path, std::string* out) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char chunk[4096];
  bool ok = true;
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof(chunk));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    out->append(chunk, static_cast<size_t>(got));
  }
  close(fd);
  return ok;
}

std::string build_command_line() {
  std::string raw;
  if (!read_file("/proc/self/cmdline", &raw)) return std::string();
  std::vector<std::string> args;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    args.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  return posix_join_command_line(args);
}

// Starts argv[0] with a PATH search; the child keeps stdin, stdout and stderr
// and no other descriptor. Returns an errno value, 0 on success.
int spawn(const std::vector<std::string>& args, pid_t* pid) {
  std::vector<char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  int rc = posix_spawn_file_actions_init(&actions);
  if (rc != 0) return rc;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
  rc = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  if (rc == 0) {
    rc = posix_spawnp(pid, argv[0], &actions, nullptr, argv.data(), environ);
  }
  posix_spawn_file_actions_destroy(&actions);
  return rc;
}

}  // namespace

std::vector<std::string> posix_split_command_line(const char* line) {
  std::vector<std::string> args;
  if (line == nullptr) return args;
  const char* p = line;
  for (;;) {
    while (is_blank(*p)) ++p;
    if (*p == '\0') break;
    std::string arg;
    bool quoted = false;
    while (*p != '\0' && (quoted || !is_blank(*p))) {
      if (*p == '\\') {
        size_t backslashes = 0;
        while (*p == '\\') {
          ++backslashes;
          ++p;
        }
        if (*p == '"') {
          append_backslashes(&arg, backslashes / 2);
          if (backslashes % 2 == 1) {
            arg.push_back('"');
            ++p;
          }
        } else {
          append_backslashes(&arg, backslashes);
        }
      } else if (*p == '"') {
        if (quoted && p[1] == '"') {
          arg.push_back('"');
          p += 2;
        } else {
          quoted = !quoted;
          ++p;
        }
      } else {
        arg.push_back(*p);
        ++p;
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::string posix_join_command_line(const std::vector<std::string>& args) {
  std::string line;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) line.push_back(' ');
    if (needs_quotes(args[i])) {
      append_quoted(&line, args[i]);
    } else {
      line += args[i];
    }
  }
  return line;
}

size_t process_module_path(char* buffer, size_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) {
    buffer[0] = '\0';
    return 0;
  }
  size_t kept = static_cast<size_t>(length) < capacity
                    ? static_cast<size_t>(length)
                    : capacity - 1;
  for (size_t i = 0; i < kept; ++i) {
    buffer[i] = path[i] == '/' ? '\\' : path[i];
  }
  buffer[kept] = '\0';
  return kept;
}

const char* process_command_line() {
  static const std::string line = build_command_line();
  return line.c_str();
}

StatusCode process_start(const char* command_line, ProcessHandle* out) {
  if (command_line == nullptr || out == nullptr) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  StatusCode fault = fault_hit(FaultPoint::kProcessStart, command_line);
  if (fault != W32_ERROR_SUCCESS) return fault;
  std::vector<std::string> args = posix_split_command_line(command_line);
  if (args.empty() || args[0].empty()) return W32_ERROR_FILE_NOT_FOUND;
  ProcessHandleData* process = new (std::nothrow) ProcessHandleData();
  if (process == nullptr) return W32_ERROR_NOT_ENOUGH_MEMORY;
  // Output already written by this process comes before the child's.
  std::fflush(nullptr);
  int error = spawn(args, &process->pid);
  if (error != 0) {
    delete process;
    return win32_error_from_errno(error);
  }
  process->reaped = false;
  process->status = 0;
  *out = process;
  live_handle_made(LiveHandle::kProcess);
  return W32_ERROR_SUCCESS;
}

void process_wait(ProcessHandle process) {
  if (fault_hit(FaultPoint::kProcessWait, nullptr) != W32_ERROR_SUCCESS) return;
  if (process == nullptr || process->reaped) return;
  int status = 0;
  pid_t rc;
  do {
    rc = waitpid(process->pid, &status, 0);
  } while (rc < 0 && errno == EINTR);
  if (rc == process->pid) {
    process->reaped = true;
    process->status = status;
  }
}

bool process_exit_code(ProcessHandle process, uint32_t* code) {
  if (fault_hit(FaultPoint::kProcessExitCode, nullptr) != W32_ERROR_SUCCESS) {
    return false;
  }
  if (process == nullptr || code == nullptr) return false;
  if (!process->reaped) {
    int status = 0;
    pid_t rc = waitpid(process->pid, &status, WNOHANG);
    if (rc == 0) {
      *code = W32_STILL_ACTIVE;
      return true;
    }
    if (rc != process->pid) return false;
    process->reaped = true;
    process->status = status;
  }
  if (WIFEXITED(process->status)) {
    *code = static_cast<uint32_t>(WEXITSTATUS(process->status));
    return true;
  }
  if (WIFSIGNALED(process->status)) {
    *code = 128 + static_cast<uint32_t>(WTERMSIG(process->status));
    return true;
  }
  return false;
}

void process_close(ProcessHandle process) {
  if (process == nullptr) return;
  live_handle_released(LiveHandle::kProcess);
  delete process;
}

void process_sleep_ms(uint32_t milliseconds) {
  struct timespec remaining;
  remaining.tv_sec = static_cast<time_t>(milliseconds / 1000);
  remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}
