// zebprobe: runs INF-reader and registry operations through the platform
// layer and prints what each returns, one line per operation, so that the
// outputs of the two backends can be compared line for line.
//
//   zebprobe inf SCRIPT [DIR]
//                         runs the INF commands of SCRIPT (see run_command);
//                         the file commands act on files of folder DIR
//
// Scripts and answers are in Windows-1252, the code page of Wine's answers
// in the tests: each text argument is turned into the system code page
// before the call (natively UTF-8), and each text answer back into
// Windows-1252 before it is printed, with the sizes reported for it moved
// by what that changes of its length.
//   zebprobe reg          runs the fixed registry scenario below
//                         HKLM\Software\ZebProbe, which it creates and removes
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "platform/inf.h"
#include "platform/registry.h"
#include "platform/text_encoding.h"

namespace {

// State of an INF script: the open file and the current line, a second
// open file set aside, and the folder of the file commands.
struct ProbeState {
  InfHandle inf;
  InfLine line;
  bool have_line;
  InfHandle held;
  std::string dir;
  std::string text;  // the command line being run, as written
};

// Splits text at blanks; "..." makes one token (without the quotes), "-"
// stands for a null pointer and is kept as is.
std::vector<std::string> split_tokens(const char* text) {
  std::vector<std::string> tokens;
  const char* p = text;
  while (*p != '\0') {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '\0') break;
    std::string token;
    if (*p == '"') {
      ++p;
      while (*p != '\0' && *p != '"') token += *p++;
      if (*p == '"') ++p;
    } else {
      while (*p != '\0' && *p != ' ' && *p != '\t') token += *p++;
    }
    tokens.push_back(token);
  }
  return tokens;
}

// Windows-1252 text of the script in the system code page.
std::string from_script(const std::string& text) {
  std::u16string units;
  for (char c : text) {
    units.push_back(windows_1252_to_utf16(static_cast<unsigned char>(c)));
  }
  std::string converted;
  text_from_utf16(units, &converted);
  return converted;
}

// System code page text of an answer in Windows-1252.
std::string to_script(const char* text) {
  std::u16string units;
  text_to_utf16(text, &units);
  std::string converted;
  windows_1252_from_utf16(units, &converted);
  return converted;
}

// A size reported for answer text, moved by the bytes its Windows-1252 form
// has more or fewer.
uint32_t script_size(uint32_t size, const char* text) {
  return static_cast<uint32_t>(size + to_script(text).size() -
                               std::strlen(text));
}

const char* arg_or_null(const std::vector<std::string>& tokens, size_t i) {
  if (i >= tokens.size() || tokens[i] == "-") return nullptr;
  return tokens[i].c_str();
}

uint32_t arg_number(const std::vector<std::string>& tokens, size_t i) {
  if (i >= tokens.size()) return 0;
  return static_cast<uint32_t>(std::strtoul(tokens[i].c_str(), nullptr, 0));
}

// Text with bytes outside the printable ASCII range (and '\\') escaped.
std::string escaped(const char* text) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
       *p != '\0'; ++p) {
    if (*p < 0x20 || *p > 0x7E || *p == '\\') {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", *p);
      out += code;
    } else {
      out += static_cast<char>(*p);
    }
  }
  return out;
}

// Prints answer text in Windows-1252, escaped, in brackets.
void print_text(const char* text) {
  std::printf("[%s]", escaped(to_script(text).c_str()).c_str());
}

void print_line_position(const ProbeState& state) {
  if (!state.have_line) return;
  std::printf(" line=%u section=%u", state.line.line, state.line.section);
}

// Reads field index with a buffer of capacity bytes and prints the result.
void probe_string_field(const InfLine* line, uint32_t index,
                        uint32_t capacity) {
  std::vector<char> buffer(capacity + 1, '#');
  uint32_t required = 0xFFFFFFFF;
  StatusCode status = inf_get_string_field(
      line, index, capacity == 0 ? nullptr : &buffer[0], capacity, &required);
  std::printf("str %u cap=%u -> 0x%x", index, capacity, status);
  if (status == 0 && capacity != 0) {
    std::printf(" required=%u", script_size(required, &buffer[0]));
  } else if (status == 0 || status == W32_ERROR_INSUFFICIENT_BUFFER) {
    std::printf(" required=%u", required);
  }
  if (status == 0 && capacity != 0) {
    std::putchar(' ');
    print_text(&buffer[0]);
  }
  std::putchar('\n');
}

void probe_int_field(const InfLine* line, uint32_t index) {
  int32_t value = 0x5A5A5A5A;
  StatusCode status = inf_get_int_field(line, index, &value);
  std::printf("int %u -> 0x%x", index, status);
  if (status == 0) std::printf(" value=%d", value);
  std::putchar('\n');
}

// Prints every line of section by index: each field from 0 up to the first
// missing one after field 0, as text and as an integer.
// section is the script's text, echoed as written.
void probe_dump(InfHandle inf, const std::string& section) {
  std::string name = from_script(section);
  std::printf("dump %s count=%d\n", escaped(section.c_str()).c_str(),
              inf_get_line_count(inf, name.c_str()));
  for (uint32_t i = 0;; ++i) {
    InfLine line;
    StatusCode status = inf_get_line_by_index(inf, name.c_str(), i, &line);
    if (status != 0) {
      std::printf("  index %u -> 0x%x\n", i, status);
      return;
    }
    std::printf("  index %u line=%u section=%u:", i, line.line, line.section);
    for (uint32_t field = 0; field < 40; ++field) {
      char buffer[2048];
      uint32_t required = 0;
      status =
          inf_get_string_field(&line, field, buffer, sizeof buffer, &required);
      if (status != 0) {
        std::printf(" f%u=0x%x", field, status);
        if (field > 0) break;
        continue;
      }
      int32_t value = 0;
      StatusCode int_status = inf_get_int_field(&line, field, &value);
      std::printf(" f%u(%u)=", field, script_size(required, buffer));
      print_text(buffer);
      if (int_status == 0) {
        std::printf("#%d", value);
      } else {
        std::printf("#0x%x", int_status);
      }
    }
    std::putchar('\n');
  }
}

std::string file_path(const ProbeState& state, const std::string& name) {
  char separator = state.dir.find('\\') != std::string::npos ? '\\' : '/';
  return state.dir + separator + name;
}

// Writes text as file name, each '|' standing for a line break (CR LF).
void write_file(const ProbeState& state, const std::string& name,
                const std::string& text) {
  std::string bytes;
  for (char c : text) {
    if (c == '|') {
      bytes += "\r\n";
    } else {
      bytes += c;
    }
  }
  std::FILE* file = std::fopen(file_path(state, name).c_str(), "wb");
  bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(),
                                                file) == bytes.size();
  if (file != nullptr) written = std::fclose(file) == 0 && written;
  std::printf("write %s size=%u -> %s\n", name.c_str(),
              static_cast<unsigned>(bytes.size()), written ? "ok" : "failed");
}

// Sets the modification time of file name to seconds before now.
void age_file(const ProbeState& state, const std::string& name, long seconds) {
  struct utimbuf times;
  times.actime = std::time(nullptr) - seconds;
  times.modtime = times.actime;
  bool aged = utime(file_path(state, name).c_str(), &times) == 0;
  std::printf("age %s -> %s\n", name.c_str(), aged ? "ok" : "failed");
}

// Runs one script command:
//   open NAME | close | count SEC | first SEC [KEY] | next | index SEC N |
//   str N CAP | int N | dump SEC
//   swap (exchanges the open file with the one set aside) |
//   write NAME TEXT | age NAME SECONDS | remove NAME (files of DIR)
// A "-" argument is a null pointer.
void run_command(ProbeState* state, const std::vector<std::string>& tokens) {
  const std::string& verb = tokens[0];
  std::vector<std::string> args;  // the tokens in the system code page
  for (const std::string& token : tokens) args.push_back(from_script(token));
  if (verb == "write") {
    // The text is the rest of the line as written, quotes and blanks kept.
    size_t name = state->text.find(tokens[1]);
    size_t start =
        state->text.find_first_not_of(" \t", name + tokens[1].size());
    write_file(*state, tokens[1],
               start == std::string::npos ? "" : state->text.substr(start));
  } else if (verb == "age") {
    age_file(*state, tokens[1], static_cast<long>(arg_number(tokens, 2)));
  } else if (verb == "remove") {
    bool removed = std::remove(file_path(*state, tokens[1]).c_str()) == 0;
    std::printf("remove %s -> %s\n", tokens[1].c_str(),
                removed ? "ok" : "failed");
  } else if (verb == "swap") {
    std::swap(state->inf, state->held);
    state->have_line = false;
    std::printf("swap\n");
  } else if (verb == "open") {
    if (state->inf != nullptr) inf_close(state->inf);
    state->inf = nullptr;
    state->have_line = false;
    StatusCode status = inf_open(args[1].c_str(), &state->inf);
    if (status != 0) state->inf = nullptr;
    std::printf("open %s -> 0x%x\n", escaped(tokens[1].c_str()).c_str(),
                status);
  } else if (verb == "close") {
    if (state->inf != nullptr) inf_close(state->inf);
    state->inf = nullptr;
    state->have_line = false;
  } else if (verb == "count") {
    std::printf("count %s -> %d\n", escaped(tokens[1].c_str()).c_str(),
                inf_get_line_count(state->inf, arg_or_null(args, 1)));
  } else if (verb == "first") {
    StatusCode status = inf_find_first_line(state->inf, arg_or_null(args, 1),
                                            arg_or_null(args, 2), &state->line);
    state->have_line = status == 0;
    std::printf("first %s %s -> 0x%x", escaped(tokens[1].c_str()).c_str(),
                escaped(tokens.size() > 2 ? tokens[2].c_str() : "-").c_str(),
                status);
    print_line_position(*state);
    std::putchar('\n');
  } else if (verb == "next") {
    InfLine next;
    StatusCode status = inf_find_next_line(&state->line, &next);
    if (status == 0) state->line = next;
    std::printf("next -> 0x%x", status);
    print_line_position(*state);
    std::putchar('\n');
  } else if (verb == "index") {
    StatusCode status = inf_get_line_by_index(
        state->inf, arg_or_null(args, 1), arg_number(tokens, 2), &state->line);
    state->have_line = status == 0;
    std::printf("index %s %u -> 0x%x", escaped(tokens[1].c_str()).c_str(),
                arg_number(tokens, 2), status);
    print_line_position(*state);
    std::putchar('\n');
  } else if (verb == "str") {
    probe_string_field(&state->line, arg_number(tokens, 1),
                       arg_number(tokens, 2));
  } else if (verb == "int") {
    probe_int_field(&state->line, arg_number(tokens, 1));
  } else if (verb == "dump") {
    probe_dump(state->inf, tokens[1]);
  } else {
    std::printf("unknown command %s\n", verb.c_str());
  }
}

int run_inf_script(const char* path, const char* dir) {
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    std::printf("cannot read %s\n", path);
    return 1;
  }
  ProbeState state = {
      nullptr, {nullptr, nullptr, 0, 0}, false, nullptr, dir, std::string()};
  char text[1024];
  while (std::fgets(text, sizeof text, file) != nullptr) {
    text[std::strcspn(text, "\r\n")] = '\0';
    std::vector<std::string> tokens = split_tokens(text);
    state.text = text;
    if (tokens.empty() || tokens[0][0] == '#') continue;
    run_command(&state, tokens);
  }
  std::fclose(file);
  if (state.inf != nullptr) inf_close(state.inf);
  if (state.held != nullptr) inf_close(state.held);
  return 0;
}

// ---------------------------------------------------------------------------
// Registry scenario.

const char kProbeRoot[] = "Software\\ZebProbe";

// Whether the out-parameters of a registry read are defined after status:
// on success and on 234 (data or name too long); otherwise they are left
// to the backend.
bool reports_sizes(StatusCode status) {
  return status == 0 || status == W32_ERROR_MORE_DATA;
}

void print_status(const char* what, StatusCode status) {
  std::printf("%s -> 0x%x\n", what, status);
}

// Deletes key parent\name with everything below it; stops at the first key
// that cannot be deleted.
StatusCode delete_tree(RegKey parent, const char* name) {
  RegKey key = nullptr;
  StatusCode status = reg_open_key(parent, name, W32_KEY_ALL_ACCESS, &key);
  if (status != 0) return status;
  for (;;) {
    char child[300];
    uint32_t length = sizeof child;
    if (reg_enum_key(key, 0, child, &length) != 0) break;
    status = delete_tree(key, child);
    if (status != 0) break;
  }
  reg_close_key(key);
  return status != 0 ? status : reg_delete_key(parent, name);
}

RegKey create_key(RegKey parent, const char* name) {
  RegKey key = nullptr;
  uint32_t disposition = 0;
  StatusCode status =
      reg_create_key(parent, name, W32_KEY_ALL_ACCESS, &key, &disposition);
  std::printf("create %s -> 0x%x disposition=%u\n", name, status,
              status == 0 ? disposition : 0);
  return status == 0 ? key : nullptr;
}

void set_string(RegKey key, const char* name, const char* text) {
  StatusCode status =
      reg_set_value(key, name, W32_REG_SZ, text,
                    static_cast<uint32_t>(std::strlen(text) + 1));
  std::printf("set %s -> 0x%x\n", name == nullptr ? "(default)" : name, status);
}

void set_dword(RegKey key, const char* name, uint32_t number) {
  StatusCode status = reg_set_value(key, name, W32_REG_DWORD, &number, 4);
  std::printf("set %s -> 0x%x\n", name, status);
}

void enum_keys(RegKey key, uint32_t capacity) {
  for (uint32_t index = 0;; ++index) {
    char name[300];
    std::memset(name, '#', sizeof name);
    uint32_t length = capacity;
    StatusCode status = reg_enum_key(key, index, name, &length);
    std::printf("enum_key %u cap=%u -> 0x%x", index, capacity, status);
    if (status == 0) {
      std::printf(" len=%u ", length);
      print_text(name);
    }
    std::putchar('\n');
    if ((status != 0 && status != W32_ERROR_MORE_DATA) || index > 20) return;
  }
}

void enum_value(RegKey key, uint32_t index, uint32_t name_capacity,
                uint32_t data_capacity) {
  char name[300];
  unsigned char data[300];
  std::memset(name, '#', sizeof name);
  std::memset(data, '#', sizeof data);
  uint32_t name_len = name_capacity;
  uint32_t type = 0xFFFF;
  uint32_t data_size = data_capacity;
  StatusCode status =
      reg_enum_value(key, index, name, &name_len, &type, data, &data_size);
  std::printf("enum_value %u cap=%u/%u -> 0x%x", index, name_capacity,
              data_capacity, status);
  if (reports_sizes(status)) {
    std::printf(" name_len=%u type=%u data_size=%u", name_len, type, data_size);
  }
  if (status == 0) {
    std::putchar(' ');
    print_text(name);
  }
  std::putchar('\n');
}

// Value number index with neither type nor data: only the sizes.
void enum_value_sizes(RegKey key, uint32_t index) {
  char name[300];
  uint32_t name_len = sizeof name;
  uint32_t data_size = 0xFFFF;
  StatusCode status =
      reg_enum_value(key, index, name, &name_len, nullptr, nullptr, &data_size);
  std::printf("enum_value %u sizes only -> 0x%x name_len=%u data_size=%u\n",
              index, status, name_len, data_size);
}

void enum_values(RegKey key) {
  for (uint32_t index = 0;; ++index) {
    char name[300];
    unsigned char data[300];
    uint32_t name_len = sizeof name;
    uint32_t type = 0;
    uint32_t data_size = sizeof data;
    StatusCode status =
        reg_enum_value(key, index, name, &name_len, &type, data, &data_size);
    std::printf("enum_value %u -> 0x%x", index, status);
    if (status == 0) {
      std::printf(" type=%u size=%u len=%u ", type, data_size, name_len);
      print_text(name);
    }
    std::putchar('\n');
    if (status != 0 || index > 20) return;
  }
}

void query_value(RegKey key, const char* name, bool with_data,
                 uint32_t capacity) {
  unsigned char data[300];
  std::memset(data, 0, sizeof data);
  uint32_t type = 0xFFFF;
  uint32_t size = capacity;
  StatusCode status =
      reg_query_value(key, name, &type, with_data ? data : nullptr, &size);
  std::printf("query %s data=%d cap=%u -> 0x%x",
              name == nullptr ? "(default)" : name, with_data ? 1 : 0, capacity,
              status);
  if (reports_sizes(status)) std::printf(" type=%u size=%u", type, size);
  if (status == 0 && with_data && type == W32_REG_SZ) {
    std::putchar(' ');
    print_text(reinterpret_cast<char*>(data));
  }
  std::putchar('\n');
}

void query_subkey_default(RegKey key, const char* subkey, int32_t capacity) {
  char data[300];
  std::memset(data, 0, sizeof data);
  int32_t size = capacity;
  StatusCode status = reg_query_subkey_default(key, subkey, data, &size);
  std::printf("query_default %s cap=%d -> 0x%x",
              subkey == nullptr ? "-" : subkey, capacity, status);
  if (reports_sizes(status)) std::printf(" size=%d", size);
  if (status == 0) {
    std::putchar(' ');
    print_text(data);
  }
  std::putchar('\n');
}

// Subkeys and values in mixed case, for the enumeration order.
void fill_probe_key(RegKey root) {
  const char* subkeys[] = {"beta",
                           "Alpha",
                           "gamma",
                           "ALPHA2",
                           "zeb_dev_10",
                           "zeb_dev_9",
                           "Zeb_Dev_1",
                           "zebdev",
                           "Z[x]",
                           "a_very_long_subkey_name",
                           "sixteen_chars_ab",
                           "seventeen_chars_a"};
  for (const char* name : subkeys) {
    RegKey key = create_key(root, name);
    if (key != nullptr) reg_close_key(key);
  }
  RegKey again = create_key(root, "ALPHA");
  if (again != nullptr) reg_close_key(again);
  RegKey nested = create_key(root, "Deep\\Er\\Est");
  if (nested != nullptr) reg_close_key(nested);

  set_string(root, "b", "second");
  set_string(root, "A", "first");
  set_string(root, "c_x", "under");
  set_string(root, "C", "");
  set_dword(root, "Zed", 0x12345678);
  set_string(root, "_low", "underscore");
  set_string(root, nullptr, "default text");
  set_string(root, "a", "replaced");
}

void probe_enumeration(RegKey root) {
  enum_keys(root, 300);
  std::printf("-- 17-character buffer\n");
  enum_keys(root, 17);
  enum_values(root);
  std::printf("-- value sizes\n");
  enum_value(root, 1, 300, 3);
  enum_value(root, 1, 2, 300);
  enum_value(root, 1, 1, 300);
  enum_value(root, 0, 300, 0);
  enum_value(root, 99, 300, 300);
  enum_value_sizes(root, 2);
  enum_value_sizes(root, 6);
}

void probe_queries(RegKey root) {
  query_value(root, "A", true, 300);
  query_value(root, "a", false, 0);
  query_value(root, "A", true, 3);
  query_value(root, "A", true, 0);
  query_value(root, "Zed", true, 300);
  query_value(root, "Zed", true, 2);
  query_value(root, "ZED", false, 0);
  query_value(root, "missing", true, 300);
  query_value(root, nullptr, true, 300);
  query_value(root, "", true, 300);
  query_value(root, "C", true, 300);

  RegKey beta = nullptr;
  print_status("open beta",
               reg_open_key(root, "BETA", W32_KEY_ALL_ACCESS, &beta));
  if (beta != nullptr) {
    set_string(beta, nullptr, "beta default");
    reg_close_key(beta);
  }
  query_subkey_default(root, "Beta", 300);
  query_subkey_default(root, "beta", 5);
  query_subkey_default(root, "gamma", 300);
  query_subkey_default(root, "nokey", 300);
  query_subkey_default(root, nullptr, 300);
  query_subkey_default(root, "", 300);
}

void probe_access(RegKey root) {
  RegKey reader = nullptr;
  StatusCode status =
      reg_open_key(reg_local_machine(), kProbeRoot, W32_KEY_READ, &reader);
  print_status("open read", status);
  if (status != 0) return;
  set_string(reader, "w", "denied");
  print_status("delete_value via read", reg_delete_value(reader, "A"));
  query_value(reader, "b", true, 300);
  RegKey created = create_key(reader, "newsub");
  if (created != nullptr) reg_close_key(created);
  created = create_key(reader, "BETA");
  if (created != nullptr) reg_close_key(created);
  print_status("delete_key via read", reg_delete_key(reader, "zebdev"));
  reg_close_key(reader);

  RegKey missing = nullptr;
  print_status("open missing",
               reg_open_key(root, "nokey", W32_KEY_READ, &missing));
  print_status("open nested",
               reg_open_key(root, "deep\\er", W32_KEY_READ, &missing));
  if (missing != nullptr) reg_close_key(missing);
  print_status("delete_value missing", reg_delete_value(root, "missing"));
  print_status("delete_value b", reg_delete_value(root, "b"));
  print_status("delete_value b again", reg_delete_value(root, "b"));
  print_status("delete_key with subkeys", reg_delete_key(root, "Deep"));
  print_status("delete_key missing", reg_delete_key(root, "nokey"));
  print_status("delete_key gamma", reg_delete_key(root, "GAMMA"));
  enum_keys(root, 300);
  enum_values(root);
}

void open_path(RegKey parent, const char* path) {
  RegKey key = nullptr;
  StatusCode status = reg_open_key(parent, path, W32_KEY_READ, &key);
  std::printf("open [%s] -> 0x%x\n", escaped(path).c_str(), status);
  if (status == 0) reg_close_key(key);
}

// Path forms: separators at either end or doubled, empty paths, long names.
void probe_paths(RegKey root) {
  open_path(reg_local_machine(), "Software\\ZebProbe\\");
  open_path(reg_local_machine(), "\\Software\\ZebProbe");
  open_path(reg_local_machine(), "Software\\\\ZebProbe");
  open_path(root, "");
  open_path(root, "Deep\\Er\\");
  std::string name(255, 'k');
  RegKey key = create_key(root, name.c_str());
  if (key != nullptr) reg_close_key(key);
  open_path(root, name.c_str());
  name += 'k';
  key = create_key(root, name.c_str());
  if (key != nullptr) reg_close_key(key);
  key = create_key(root, "trail\\");
  if (key != nullptr) reg_close_key(key);
  open_path(root, "trail");
  print_status("delete_key trail", reg_delete_key(root, "trail"));
  print_status("delete_key long",
               reg_delete_key(root, std::string(255, 'k').c_str()));
  // Names count UTF-16 units, whatever the code page's bytes for them.
  for (size_t length : {256, 257}) {
    std::string wide = from_script(std::string(length, '\xe9'));
    StatusCode status = reg_create_key(root, wide.c_str(), W32_KEY_ALL_ACCESS,
                                       &key, nullptr);
    std::printf("create a name of %u e-acute -> 0x%x\n",
                static_cast<unsigned>(length), status);
    if (status == 0) reg_close_key(key);
    if (status == 0) reg_delete_key(root, wide.c_str());
  }
}

// Value names up to the registry's limit of 16,383 characters.
void probe_value_names(RegKey root) {
  for (size_t length : {16383, 16384}) {
    for (char c : {'v', '\xe9'}) {
      std::string name = from_script(std::string(length, c));
      StatusCode status =
          reg_set_value(root, name.c_str(), W32_REG_SZ, "x", 2);
      std::printf("set a value name of %u %s -> 0x%x\n",
                  static_cast<unsigned>(length),
                  c == 'v' ? "v" : "e-acute", status);
      if (status == 0) reg_delete_value(root, name.c_str());
    }
  }
}

// Enumeration by index while keys and values come and go.
void probe_changes_while_enumerating(RegKey root) {
  RegKey list = create_key(root, "List");
  if (list == nullptr) return;
  RegKey child = create_key(list, "m");
  if (child != nullptr) reg_close_key(child);
  child = create_key(list, "p");
  if (child != nullptr) reg_close_key(child);
  set_string(list, "m", "1");
  set_string(list, "p", "2");
  enum_keys(list, 300);
  child = create_key(list, "a");
  if (child != nullptr) reg_close_key(child);
  set_string(list, "a", "0");
  enum_keys(list, 300);
  enum_values(list);
  print_status("delete_key m", reg_delete_key(list, "m"));
  print_status("delete_value m", reg_delete_value(list, "m"));
  enum_keys(list, 300);
  enum_values(list);
  RegKey other = nullptr;
  print_status("open List again",
               reg_open_key(root, "list", W32_KEY_ALL_ACCESS, &other));
  if (other != nullptr) {
    child = create_key(other, "b");
    if (child != nullptr) reg_close_key(child);
    set_dword(other, "b", 7);
    reg_close_key(other);
  }
  enum_keys(list, 300);
  enum_values(list);
  reg_close_key(list);
}

void set_raw(RegKey key, const char* name, uint32_t type, const void* data,
             uint32_t size) {
  StatusCode status = reg_set_value(key, name, type, data, size);
  std::printf("set %s type=%u size=%u -> 0x%x\n",
              name == nullptr ? "(default)" : name, type, size, status);
}

// Value types and sizes: binary, none, strings without or with a short
// terminator count, a DWORD as a subkey default; exact buffer sizes.
void probe_value_forms(RegKey root) {
  RegKey forms = create_key(root, "Forms");
  if (forms == nullptr) return;
  const unsigned char bytes[] = {1, 0, 2, 0xFF};
  set_raw(forms, "bin", W32_REG_BINARY, bytes, 4);
  set_raw(forms, "none", W32_REG_NONE, nullptr, 0);
  set_raw(forms, "bare", W32_REG_SZ, "abc", 3);
  set_raw(forms, "empty", W32_REG_SZ, "", 0);
  set_raw(forms, "twice", W32_REG_SZ, "ab\0cd", 6);
  uint32_t number = 5;
  set_raw(forms, nullptr, W32_REG_DWORD, &number, 4);
  query_value(forms, "bin", true, 4);
  query_value(forms, "bin", true, 3);
  query_value(forms, "none", true, 300);
  query_value(forms, "bare", true, 300);
  query_value(forms, "empty", true, 300);
  query_value(forms, "twice", true, 300);
  enum_values(forms);
  enum_value(forms, 1, 4, 300);
  enum_value(forms, 1, 5, 300);
  reg_close_key(forms);
  query_subkey_default(root, "Forms", 300);
  set_string(root, "exact", "abcd");
  query_value(root, "exact", true, 5);
  query_value(root, "exact", true, 4);
}

// Operations through a handle whose key another handle deleted.
void probe_deleted_key(RegKey root) {
  RegKey stale = create_key(root, "Stale");
  if (stale == nullptr) return;
  set_string(stale, "v", "x");
  print_status("delete_key Stale", reg_delete_key(root, "Stale"));
  set_string(stale, "w", "y");
  query_value(stale, "v", true, 300);
  enum_keys(stale, 300);
  enum_values(stale);
  RegKey child = create_key(stale, "child");
  if (child != nullptr) reg_close_key(child);
  print_status("delete_value v", reg_delete_value(stale, "v"));
  reg_close_key(stale);
  open_path(root, "Stale");
}

int run_registry_scenario() {
  RegKey hklm = reg_local_machine();
  delete_tree(hklm, kProbeRoot);
  RegKey root = create_key(hklm, kProbeRoot);
  if (root == nullptr) return 1;
  RegKey again = create_key(hklm, kProbeRoot);
  if (again != nullptr) reg_close_key(again);
  fill_probe_key(root);
  probe_enumeration(root);
  probe_queries(root);
  probe_access(root);
  probe_paths(root);
  probe_value_names(root);
  probe_changes_while_enumerating(root);
  probe_value_forms(root);
  probe_deleted_key(root);
  reg_close_key(root);
  delete_tree(hklm, kProbeRoot);
  RegKey gone = nullptr;
  print_status("open after removal",
               reg_open_key(hklm, kProbeRoot, W32_KEY_READ, &gone));
  if (gone != nullptr) reg_close_key(gone);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "inf") == 0) {
    return run_inf_script(argv[2], argc == 4 ? argv[3] : ".");
  }
  if (argc == 2 && std::strcmp(argv[1], "reg") == 0) {
    return run_registry_scenario();
  }
  std::printf("usage: zebprobe inf SCRIPT [DIR] | zebprobe reg\n");
  return 2;
}
