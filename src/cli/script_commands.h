// The script commands osver, msg and wait.
#pragma once

#include <cstdint>

// Finds the child's command line in the raw command line of a wait run: the
// text after the first whole word "wait" (or, only when the four lowercase
// letters do not occur, "WAIT") that follows the program path, with the
// white space after the word skipped. Null when there is no such word. The
// result points into raw.
const char* find_child_command_line(const char* raw);

// Starts command_line as a child process, waits for its end and returns its
// exit code (all 32 bits), or -1 when it cannot be started or its code
// cannot be read.
int32_t run_and_wait(const char* command_line);
