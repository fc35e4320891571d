// Process entry and the command table.
#pragma once

#include <cstdint>

#include "cli/output_mode.h"

// A command: (mode, count, arguments) -> exit code. args[0] is the command
// word; count counts it.
typedef int32_t (*CommandHandler)(OutputMode mode, int32_t count,
                                  char* const* args);

struct CommandEntry {
  const char* name;  // lowercase command word; null closes the table
  CommandHandler handler;
  OutputMode mode;
};

constexpr int PROGRAM_NAME_CAPACITY = 100;

// The executable's file name before its first ".", set once at start.
extern char program_name[PROGRAM_NAME_CAPACITY];

// Derives program_name from a module path: the text after the last
// backslash, cut before its first "." and to 99 characters.
void set_program_name(const char* module_path);

// The 21 command rows, closed by a row without a name.
extern const CommandEntry kCommandTable[];

// Runs one command: program name, dispatch, handler. Returns the exit code.
int32_t run_entry(int argc, char** argv);
