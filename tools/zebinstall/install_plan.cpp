// Reading an install section into an InstallPlan. Each line is checked in
// full here, so that applying the plan meets no line it cannot apply.
#include "install_plan.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/fold.h"
#include "platform/integer_scan.h"

namespace {

bool equal_folded(const std::string& a, const char* b) {
  return equal_folded_bytes(a.data(), a.size(), b, std::strlen(b));
}

std::string hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// Field index of line into *text; W32_ERROR_GEN_FAILURE when the line has no
// such field (an empty field exists and reads as "").
StatusCode read_field(const InfLine* line, uint32_t index, std::string* text) {
  uint32_t size = 0;
  StatusCode status = inf_get_string_field(line, index, nullptr, 0, &size);
  if (status != W32_ERROR_SUCCESS) return status;
  std::vector<char> buffer(size + 1);
  status = inf_get_string_field(line, index, buffer.data(),
                                static_cast<uint32_t>(buffer.size()), &size);
  if (status == W32_ERROR_SUCCESS) text->assign(buffer.data());
  return status;
}

// Field index of line, or "" when the line has none.
std::string field_or_empty(const InfLine* line, uint32_t index) {
  std::string text;
  return read_field(line, index, &text) == W32_ERROR_SUCCESS ? text : "";
}

// The number of value fields of line (the key not counted).
uint32_t field_count(const InfLine* line) {
  std::string text;
  uint32_t count = 0;
  while (read_field(line, count + 1, &text) == W32_ERROR_SUCCESS) ++count;
  return count;
}

// Every line of section, in file order; none when it is missing or empty.
std::vector<InfLine> section_lines(InfHandle inf, const std::string& section) {
  std::vector<InfLine> lines;
  InfLine line;
  StatusCode status = inf_find_first_line(inf, section.c_str(), nullptr, &line);
  while (status == W32_ERROR_SUCCESS) {
    lines.push_back(line);
    status = inf_find_next_line(&lines.back(), &line);
  }
  return lines;
}

bool section_exists(InfHandle inf, const std::string& section) {
  return inf_get_line_count(inf, section.c_str()) >= 0;
}

std::string where(const std::string& section, size_t index) {
  return "[" + section + "] line " + std::to_string(index + 1);
}

// Fails with code and the reason "<at>: <text>".
StatusCode refuse(StatusCode code, const std::string& at,
                  const std::string& text, std::string* error) {
  *error = at + ": " + text;
  return code;
}

// A registry path below the root: names of 1 to 255 characters between
// single backslashes, and no %string% left unresolved.
bool valid_subkey(const std::string& path, std::string* reason) {
  if (path.empty()) {
    *reason = "a key below HKLM is required";
    return false;
  }
  if (path.find('%') != std::string::npos) {
    *reason = "key " + path + " holds an unresolved %string%";
    return false;
  }
  size_t start = 0;
  for (;;) {
    size_t end = path.find('\\', start);
    size_t length = (end == std::string::npos ? path.size() : end) - start;
    if (length == 0 || length > 255) {
      *reason = "key " + path + " has an empty or overlong name in its path";
      return false;
    }
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// A file name without any directory.
bool plain_file_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos;
}

// The registry root of field 1: only HKLM is kept by this store.
StatusCode check_root(const std::string& root, const std::string& at,
                      std::string* error) {
  if (equal_folded(root, "HKLM")) return W32_ERROR_SUCCESS;
  for (const char* other : {"HKCR", "HKCU", "HKU", "HKR"}) {
    if (equal_folded(root, other)) {
      return refuse(W32_ERROR_NOT_SUPPORTED, at,
                    "root " + root + " is not supported (only HKLM)", error);
    }
  }
  return refuse(W32_ERROR_INVALID_DATA, at,
                "unknown registry root \"" + root + "\"", error);
}

// Field 4: empty or missing is 0.
StatusCode read_flags(const InfLine* line, const std::string& at,
                      uint32_t* flags, std::string* error) {
  std::string text = field_or_empty(line, 4);
  *flags = 0;
  if (text.empty()) return W32_ERROR_SUCCESS;
  int32_t number = 0;
  if (inf_get_int_field(line, 4, &number) != W32_ERROR_SUCCESS) {
    return refuse(W32_ERROR_INVALID_DATA, at,
                  "flags \"" + text + "\" are not a number", error);
  }
  *flags = static_cast<uint32_t>(number);
  return W32_ERROR_SUCCESS;
}

void append_text(const std::string& text, std::vector<uint8_t>* data) {
  data->insert(data->end(), text.begin(), text.end());
  data->push_back(0);
}

StatusCode dword_data(const InfLine* line, const std::string& at,
                      RegEntry* entry, std::string* error) {
  uint32_t value = 0;
  std::string text;
  if (field_count(line) != 5 || read_field(line, 5, &text) != 0) {
    return refuse(W32_ERROR_INVALID_DATA, at,
                  "REG_DWORD takes one number in field 5", error);
  }
  if (!parse_dword_text(text, &value)) {
    return refuse(W32_ERROR_INVALID_DATA, at,
                  "\"" + text + "\" is not a 32-bit number", error);
  }
  entry->type = W32_REG_DWORD;
  for (int shift = 0; shift < 32; shift += 8) {
    entry->data.push_back(static_cast<uint8_t>(value >> shift));
  }
  return W32_ERROR_SUCCESS;
}

StatusCode multi_sz_data(const InfLine* line, const std::string& at,
                         RegEntry* entry, std::string* error) {
  uint32_t count = field_count(line);
  if (count < 5) {
    return refuse(W32_ERROR_INVALID_DATA, at,
                  "REG_MULTI_SZ takes one text or more from field 5 on", error);
  }
  entry->type = W32_REG_MULTI_SZ;
  for (uint32_t index = 5; index <= count; ++index) {
    std::string item = field_or_empty(line, index);
    if (item.empty()) {
      // An empty text ends a REG_MULTI_SZ for every reader.
      return refuse(W32_ERROR_INVALID_DATA, at,
                    "REG_MULTI_SZ field " + std::to_string(index) + " is empty",
                    error);
    }
    append_text(item, &entry->data);
  }
  entry->data.push_back(0);
  return W32_ERROR_SUCCESS;
}

StatusCode binary_data(const InfLine* line, const std::string& at,
                       RegEntry* entry, std::string* error) {
  uint32_t count = field_count(line);
  entry->type = W32_REG_BINARY;
  for (uint32_t index = 5; index <= count; ++index) {
    std::string byte = field_or_empty(line, index);
    uint64_t value = 0;
    if (!read_integer(byte.data(), byte.size(), kHexByteRule, &value)) {
      return refuse(W32_ERROR_INVALID_DATA, at,
                    "REG_BINARY field " + std::to_string(index) + " \"" + byte +
                        "\" is not a hexadecimal byte",
                    error);
    }
    entry->data.push_back(static_cast<uint8_t>(value));
  }
  return W32_ERROR_SUCCESS;
}

// The value an AddReg line writes, by its flags (no-clobber taken off).
StatusCode add_reg_value(const InfLine* line, const std::string& at,
                         uint32_t flags, RegEntry* entry, std::string* error) {
  entry->kind = RegEntryKind::kSetValue;
  switch (flags) {
    case kAddRegKeyOnly:
      entry->kind = RegEntryKind::kCreateKey;
      return W32_ERROR_SUCCESS;
    case 0:
      entry->type = W32_REG_SZ;
      append_text(field_or_empty(line, 5), &entry->data);
      return W32_ERROR_SUCCESS;
    case kAddRegDword:
      return dword_data(line, at, entry, error);
    case kAddRegMultiSz:
      return multi_sz_data(line, at, entry, error);
    case kAddRegBinary:
      return binary_data(line, at, entry, error);
    default:
      return refuse(W32_ERROR_NOT_SUPPORTED, at,
                    "AddReg flags " + hex32(flags) + " are not supported",
                    error);
  }
}

// One AddReg (deleting false) or DelReg line into *entry.
StatusCode plan_reg_line(const InfLine* line, const std::string& at,
                         bool deleting, RegEntry* entry, std::string* error) {
  *entry = RegEntry{};
  entry->where = at;
  std::string root;
  if (read_field(line, 1, &root) != W32_ERROR_SUCCESS) {
    return refuse(W32_ERROR_INVALID_DATA, at, "no registry root", error);
  }
  StatusCode status = check_root(root, at, error);
  if (status != W32_ERROR_SUCCESS) return status;
  entry->subkey = field_or_empty(line, 2);
  std::string reason;
  if (!valid_subkey(entry->subkey, &reason)) {
    return refuse(W32_ERROR_INVALID_DATA, at, reason, error);
  }
  entry->value_name = field_or_empty(line, 3);
  uint32_t flags = 0;
  status = read_flags(line, at, &flags, error);
  if (status != W32_ERROR_SUCCESS) return status;
  if (deleting) {
    if (flags != 0 && flags != kDelRegBit) {
      return refuse(W32_ERROR_NOT_SUPPORTED, at,
                    "DelReg flags " + hex32(flags) + " are not supported",
                    error);
    }
    entry->kind = entry->value_name.empty() ? RegEntryKind::kDeleteTree
                                            : RegEntryKind::kDeleteValue;
    return W32_ERROR_SUCCESS;
  }
  entry->no_clobber = (flags & kAddRegNoClobber) != 0;
  return add_reg_value(line, at, flags & ~kAddRegNoClobber, entry, error);
}

// Every line of the registry section named by an AddReg or DelReg field.
StatusCode plan_reg_section(InfHandle inf, const std::string& at,
                            const std::string& section, bool deleting,
                            std::vector<RegEntry>* entries,
                            std::string* error) {
  if (section.empty() || !section_exists(inf, section)) {
    return refuse(W32_ERROR_SECTION_NOT_FOUND, at,
                  "no section [" + section + "]", error);
  }
  std::vector<InfLine> lines = section_lines(inf, section);
  for (size_t i = 0; i < lines.size(); ++i) {
    RegEntry entry;
    StatusCode status =
        plan_reg_line(&lines[i], where(section, i), deleting, &entry, error);
    if (status != W32_ERROR_SUCCESS) return status;
    entries->push_back(entry);
  }
  return W32_ERROR_SUCCESS;
}

// Checks that [DestinationDirs] sends list (or, without a line of its own,
// DefaultDestDir) to the INF folder.
StatusCode check_destination(InfHandle inf, const std::string& at,
                             const std::string& list, std::string* error) {
  InfLine line;
  bool found =
      !list.empty() && inf_find_first_line(inf, "DestinationDirs", list.c_str(),
                                           &line) == W32_ERROR_SUCCESS;
  if (!found && inf_find_first_line(inf, "DestinationDirs", "DefaultDestDir",
                                    &line) != W32_ERROR_SUCCESS) {
    return refuse(W32_ERROR_INVALID_DATA, at,
                  "[DestinationDirs] names no directory for " +
                      (list.empty() ? std::string("DefaultDestDir") : list),
                  error);
  }
  int32_t id = 0;
  if (inf_get_int_field(&line, 1, &id) != W32_ERROR_SUCCESS ||
      id != kDirIdInf || !field_or_empty(&line, 2).empty()) {
    std::string subdir = field_or_empty(&line, 2);
    return refuse(W32_ERROR_NOT_SUPPORTED, at,
                  "files go only to directory id 17 (the INF folder), not \"" +
                      field_or_empty(&line, 1) +
                      (subdir.empty() ? "" : "," + subdir) + "\"",
                  error);
  }
  return W32_ERROR_SUCCESS;
}

// One file to copy: plain names, and a source file that exists.
StatusCode plan_file(const std::string& at, const std::string& source_dir,
                     const std::string& target, const std::string& source,
                     std::vector<FileCopy>* copies, std::string* error) {
  if (!plain_file_name(target) || !plain_file_name(source)) {
    return refuse(
        W32_ERROR_INVALID_DATA, at,
        "\"" + target + "\" / \"" + source + "\" is not a plain file name",
        error);
  }
  FileCopy copy;
  copy.where = at;
  copy.source = source_dir + "/" + source;
  copy.target_name = target;
  std::error_code failure;
  if (!std::filesystem::is_regular_file(copy.source, failure)) {
    return refuse(W32_ERROR_FILE_NOT_FOUND, at,
                  "source file " + copy.source + " is missing", error);
  }
  copies->push_back(copy);
  return W32_ERROR_SUCCESS;
}

// A CopyFiles field: "@file", or a section that lists files.
StatusCode plan_copy_field(InfHandle inf, const std::string& at,
                           const std::string& source_dir,
                           const std::string& field,
                           std::vector<FileCopy>* copies, std::string* error) {
  if (!field.empty() && field[0] == '@') {
    StatusCode status = check_destination(inf, at, "", error);
    if (status != W32_ERROR_SUCCESS) return status;
    std::string name = field.substr(1);
    return plan_file(at, source_dir, name, name, copies, error);
  }
  if (field.empty() || !section_exists(inf, field)) {
    return refuse(W32_ERROR_SECTION_NOT_FOUND, at, "no section [" + field + "]",
                  error);
  }
  StatusCode status = check_destination(inf, at, field, error);
  if (status != W32_ERROR_SUCCESS) return status;
  std::vector<InfLine> lines = section_lines(inf, field);
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line_at = where(field, i);
    std::string target = field_or_empty(&lines[i], 1);
    std::string source = field_or_empty(&lines[i], 2);
    std::string flags = field_or_empty(&lines[i], 4);
    if (!flags.empty() && flags != "0") {
      return refuse(W32_ERROR_NOT_SUPPORTED, line_at,
                    "copy flags " + flags + " are not supported", error);
    }
    status = plan_file(line_at, source_dir, target,
                       source.empty() ? target : source, copies, error);
    if (status != W32_ERROR_SUCCESS) return status;
  }
  return W32_ERROR_SUCCESS;
}

// One directive line of the install section, each of its fields in turn.
StatusCode plan_directive(InfHandle inf, const InfLine* line,
                          const std::string& at, const std::string& source_dir,
                          InstallPlan* plan, std::string* error) {
  std::string directive = field_or_empty(line, 0);
  bool add = equal_folded(directive, "AddReg");
  bool del = equal_folded(directive, "DelReg");
  bool copy = equal_folded(directive, "CopyFiles");
  if (!add && !del && !copy) {
    return refuse(W32_ERROR_NOT_SUPPORTED, at,
                  "\"" + directive +
                      "\" is not supported (only AddReg, DelReg, CopyFiles)",
                  error);
  }
  uint32_t count = field_count(line);
  for (uint32_t index = 1; index <= count; ++index) {
    std::string field = field_or_empty(line, index);
    StatusCode status =
        copy ? plan_copy_field(inf, at, source_dir, field, &plan->copies, error)
             : plan_reg_section(inf, at, field, del,
                                del ? &plan->deletions : &plan->additions,
                                error);
    if (status != W32_ERROR_SUCCESS) return status;
  }
  return W32_ERROR_SUCCESS;
}

}  // namespace

std::string actual_install_section(InfHandle inf, const std::string& section) {
  for (const char* decoration : {".NTamd64", ".NT"}) {
    if (section_exists(inf, section + decoration)) return section + decoration;
  }
  return section;
}

StatusCode plan_install(InfHandle inf, const std::string& source_dir,
                        const std::string& section, InstallPlan* plan,
                        std::string* error) {
  *plan = InstallPlan{};
  plan->section = actual_install_section(inf, section);
  if (!section_exists(inf, plan->section)) {
    *error = "no section [" + section + "]";
    return W32_ERROR_SECTION_NOT_FOUND;
  }
  std::vector<InfLine> lines = section_lines(inf, plan->section);
  for (size_t i = 0; i < lines.size(); ++i) {
    StatusCode status = plan_directive(inf, &lines[i], where(plan->section, i),
                                       source_dir, plan, error);
    if (status != W32_ERROR_SUCCESS) return status;
  }
  return W32_ERROR_SUCCESS;
}

bool parse_dword_text(const std::string& text, uint32_t* value) {
  uint64_t number = 0;
  if (!read_integer(text.data(), text.size(), kInfDwordRule, &number)) {
    return false;
  }
  *value = static_cast<uint32_t>(number);
  return true;
}
