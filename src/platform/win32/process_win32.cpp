// The running process and child processes over kernel32.
#include <cstring>
#include <new>

#include "platform/process.h"
#include "platform/win32/win32_error.h"

struct ProcessHandleData {
  PROCESS_INFORMATION info;
};

size_t process_module_path(char* buffer, size_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  char path[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0) {
    buffer[0] = '\0';
    return 0;
  }
  size_t kept = length < capacity ? length : capacity - 1;
  std::memcpy(buffer, path, kept);
  buffer[kept] = '\0';
  return kept;
}

const char* process_command_line() { return GetCommandLineA(); }

StatusCode process_start(const char* command_line, ProcessHandle* out) {
  if (command_line == nullptr || out == nullptr) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  // CreateProcessA may write into the command line; hand it a copy.
  size_t length = std::strlen(command_line);
  char* writable = new (std::nothrow) char[length + 1];
  ProcessHandleData* process = new (std::nothrow) ProcessHandleData();
  if (writable == nullptr || process == nullptr) {
    delete[] writable;
    delete process;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  std::memcpy(writable, command_line, length + 1);
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);
  BOOL started = CreateProcessA(nullptr, writable, nullptr, nullptr, FALSE,
                                NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                                &startup, &process->info);
  StatusCode status = started ? W32_ERROR_SUCCESS : last_error();
  delete[] writable;
  if (status != W32_ERROR_SUCCESS) {
    delete process;
    return status;
  }
  *out = process;
  return W32_ERROR_SUCCESS;
}

void process_wait(ProcessHandle process) {
  WaitForSingleObject(process->info.hProcess, INFINITE);
}

bool process_exit_code(ProcessHandle process, uint32_t* code) {
  DWORD exit_code = 0;
  if (!GetExitCodeProcess(process->info.hProcess, &exit_code)) return false;
  *code = exit_code;
  return true;
}

void process_close(ProcessHandle process) {
  if (process == nullptr) return;
  CloseHandle(process->info.hProcess);
  CloseHandle(process->info.hThread);
  delete process;
}

void process_sleep_ms(uint32_t milliseconds) { Sleep(milliseconds); }
