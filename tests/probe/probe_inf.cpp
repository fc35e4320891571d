// zebprobe inf SCRIPT [DIR]: runs the INF commands of SCRIPT (see
// run_command) and prints what each returns; the file commands act on files
// of folder DIR.
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "platform/inf.h"
#include "probe.h"

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

}  // namespace

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
