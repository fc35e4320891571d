// zebprobe: runs INF-reader and registry operations through the platform
// layer and prints what each returns, one line per operation, so that the
// outputs of the two backends can be compared line for line. Two programs,
// one a file: the INF script runner (probe_inf.cpp) and the fixed registry
// scenario (probe_registry.cpp); what both print text with is in
// probe_text.cpp.
//
// Scripts and answers are in Windows-1252, the code page of Wine's answers
// in the tests: each text argument is turned into the system code page
// before the call (natively UTF-8), and each text answer back into
// Windows-1252 before it is printed, with the sizes reported for it moved
// by what that changes of its length.
#pragma once

#include <string>

// Runs the INF commands of the script at path (see probe_inf.cpp); the file
// commands act on files of folder dir. The exit code.
int run_inf_script(const char* path, const char* dir);

// Runs the fixed registry scenario below HKLM\Software\ZebProbe, which it
// creates and removes. The exit code.
int run_registry_scenario();

// Windows-1252 text of a script in the system code page.
std::string from_script(const std::string& text);

// System code page text of an answer in Windows-1252.
std::string to_script(const char* text);

// text with bytes outside the printable ASCII range (and '\\') escaped.
std::string escaped(const char* text);

// Prints answer text in Windows-1252, escaped, in brackets.
void print_text(const char* text);
