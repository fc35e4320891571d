// The running process and child processes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

struct ProcessHandleData;  // defined by the backend
typedef ProcessHandleData* ProcessHandle;

// GetModuleFileNameA: the path of the running executable with backslash
// separators, cut to capacity - 1 characters; returns its length, 0 on
// failure.
size_t process_module_path(char* buffer, size_t capacity);

// GetCommandLineA: the raw command line of the process, as typed.
const char* process_command_line();

// CreateProcessA: starts command_line (program taken from its first token)
// with the parent's console, environment and directory.
StatusCode process_start(const char* command_line, ProcessHandle* out);

// WaitForSingleObject(INFINITE) on a started child.
void process_wait(ProcessHandle process);

// GetExitCodeProcess: false when the code cannot be read.
bool process_exit_code(ProcessHandle process, uint32_t* code);

// Closes the process and thread handles.
void process_close(ProcessHandle process);

// Sleep.
void process_sleep_ms(uint32_t milliseconds);
