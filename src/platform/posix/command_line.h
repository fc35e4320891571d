// Windows command-line rules on POSIX: splitting a command line into
// arguments as a Windows C runtime does, and rebuilding one from arguments so
// that the split gives them back unchanged.
#pragma once

#include <string>
#include <vector>

// Splits line into arguments: blanks and tabs separate; double quotes group;
// 2n backslashes before a quote give n backslashes and the quote groups,
// 2n+1 give n backslashes and a literal quote; "" inside a quoted run is a
// literal quote and the run goes on; other backslashes are literal.
std::vector<std::string> posix_split_command_line(const char* line);

// Joins arguments into one line; an argument that is empty or holds a blank,
// tab, newline, vertical tab or quote is quoted, with the backslashes before a
// quote doubled and each quote escaped as \".
std::string posix_join_command_line(const std::vector<std::string>& args);
