// What one install section of an INF asks for, read and checked as a whole
// before anything is written: the files of its CopyFiles, the entries of its
// DelReg and of its AddReg, in the order SetupAPI applies them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/inf.h"
#include "platform/types.h"

// AddReg flags (FLG_ADDREG_*) that an install section of a driver package
// uses; every other bit is refused.
constexpr uint32_t kAddRegBinary = 0x00000001;     // REG_BINARY, bytes
constexpr uint32_t kAddRegNoClobber = 0x00000002;  // keep an existing value
constexpr uint32_t kAddRegKeyOnly = 0x00000010;    // create the key only
constexpr uint32_t kAddRegMultiSz = 0x00010000;    // REG_MULTI_SZ
constexpr uint32_t kAddRegDword = 0x00010001;      // REG_DWORD, one number
// The DelReg flag that marks a deletion; a DelReg line without flags is one.
constexpr uint32_t kDelRegBit = 0x00008000;

// The directory id of the INF folder, the only destination of CopyFiles.
constexpr int32_t kDirIdInf = 17;

// What a registry entry does.
enum class RegEntryKind {
  kCreateKey,    // create the key (and its parents)
  kSetValue,     // create the key and write one value
  kDeleteValue,  // delete one value; nothing when it is absent
  kDeleteTree,   // delete the key with everything below it
};

// One AddReg or DelReg line.
struct RegEntry {
  RegEntryKind kind;
  std::string where;          // "[Section] line N", for messages
  std::string subkey;         // path below HKEY_LOCAL_MACHINE
  std::string value_name;     // "" is the key's default value
  uint32_t type;              // W32_REG_* of a value to write
  std::vector<uint8_t> data;  // the bytes to write
  bool no_clobber;            // leave an existing value as it is
};

// One file of CopyFiles.
struct FileCopy {
  std::string where;        // "[Section] line N", for messages
  std::string source;       // path of the file beside the INF
  std::string target_name;  // file name in the INF folder
};

// Everything an install section does.
struct InstallPlan {
  std::string section;              // the section read (decorations included)
  std::vector<FileCopy> copies;     // applied first, in order
  std::vector<RegEntry> deletions;  // then these, in order
  std::vector<RegEntry> additions;  // then these, in order
};

// The section SetupAPI installs for section on 64-bit Windows NT: section
// decorated with ".NTamd64" or ".NT" when the file has it, else section.
std::string actual_install_section(InfHandle inf, const std::string& section);

// Reads install section of inf, whose file lies in source_dir, into *plan.
// 0 when every line is one this tool can apply; otherwise the first refusal's
// code (0xE0000101 no such section, 50 not supported, 13 malformed, 2 a
// missing source file), its reason in *error.
StatusCode plan_install(InfHandle inf, const std::string& source_dir,
                        const std::string& section, InstallPlan* plan,
                        std::string* error);

// Reads a REG_DWORD text as SetupAPI's INF installer does: decimal, 0x
// hexadecimal or 0 octal, optionally negated, the whole text, 32 bits.
bool parse_dword_text(const std::string& text, uint32_t* value);
