// Command line of zebreg, in reg.exe's syntax: the operation, the key, the
// value name (/v or /ve), type (/t), data (/d), the /f and /s switches, and
// the file of export and import with export's /y.
#pragma once

#include <string>
#include <vector>

// The operations zebreg knows.
enum class RegOperation {
  kNone,
  kAdd,
  kQuery,
  kDelete,
  kExport,
  kImport,
  kHelp,    // /?, -?, /h, -h as reg takes them, and --help
  kVersion  // --version
};

// One parsed command line.
struct RegCommand {
  RegOperation operation;  // what to do
  std::string key_text;    // the key as typed
  std::string subpath;     // the key's path below HKEY_LOCAL_MACHINE
  std::string display;     // the full key name as reg.exe prints it
  bool has_value;          // /v or /ve given
  bool value_default;      // /ve, or /v with an empty name
  std::string value_name;  // the name after /v, as typed
  bool has_type;           // /t given
  std::string type_text;   // the type name after /t, as typed
  bool has_data;           // /d given
  std::string data;        // the text after /d
  bool force;              // /f: no questions
  bool recurse;            // /s: the whole subtree
  std::string file;        // the registry file of export and import
  bool overwrite;          // /y: export over an existing file
};

// Outcome of reading the command line: 0 when cmd is filled, else the exit
// code, the message having been printed.
int parse_command_line(const std::vector<std::string>& args, RegCommand* cmd);

// Reads the key of cmd (HKLM\... or HKEY_LOCAL_MACHINE\..., any case) into
// subpath and display; prints the message and returns false when it is not
// a key this store holds.
bool parse_key(RegCommand* cmd);
