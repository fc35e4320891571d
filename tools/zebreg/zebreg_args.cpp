#include "zebreg_args.h"

#include <cstdio>

#include "platform/fold.h"

namespace {

const char* operation_word(RegOperation operation) {
  switch (operation) {
    case RegOperation::kAdd:
      return "ADD";
    case RegOperation::kQuery:
      return "QUERY";
    case RegOperation::kDelete:
      return "DELETE";
    case RegOperation::kExport:
      return "EXPORT";
    case RegOperation::kImport:
      return "IMPORT";
    default:
      return nullptr;
  }
}

int invalid_syntax(RegOperation operation) {
  const char* word = operation_word(operation);
  if (word == nullptr) {
    std::printf("reg: Invalid syntax. Type \"REG /?\" for help.\n");
  } else {
    std::printf("reg: Invalid syntax. Type \"REG %s /?\" for help.\n", word);
  }
  return 1;
}

// The operation word names; --help and --version, which reg refuses as
// invalid options, are zebreg's own and taken as written.
RegOperation operation_of(const std::string& word) {
  if (word == "--help") return RegOperation::kHelp;
  if (word == "--version") return RegOperation::kVersion;
  std::string name = fold_text(word);
  if (name == "add") return RegOperation::kAdd;
  if (name == "query") return RegOperation::kQuery;
  if (name == "delete") return RegOperation::kDelete;
  if (name == "export") return RegOperation::kExport;
  if (name == "import") return RegOperation::kImport;
  if (name == "/?" || name == "-?" || name == "/h" || name == "-h") {
    return RegOperation::kHelp;
  }
  return RegOperation::kNone;
}

// A switch is / or - and a word of letters (or ?): "/tmp/x.reg" is a file.
bool is_switch(const std::string& arg) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
  for (size_t i = 1; i < arg.size(); i++) {
    char c = fold_letter(arg[i]);
    if ((c < 'a' || c > 'z') && c != '?') return false;
  }
  return true;
}

// Whether option (lower case, without the slash) is allowed for operation.
bool option_allowed(RegOperation operation, const std::string& option) {
  if (operation == RegOperation::kExport) return option == "y";
  if (option == "v" || option == "ve") return true;
  if (operation == RegOperation::kAdd) {
    return option == "t" || option == "d" || option == "f";
  }
  if (operation == RegOperation::kQuery) return option == "s";
  return option == "f";
}

// Applies one option; false on a repeated or conflicting option or a
// missing argument.
bool apply_option(const std::vector<std::string>& args, size_t* i,
                  RegCommand* cmd) {
  std::string option = fold_text(args[*i].substr(1));
  if (!option_allowed(cmd->operation, option)) return false;
  bool takes_text = option == "v" || option == "t" || option == "d";
  if (takes_text && *i + 1 >= args.size()) return false;
  const std::string text = takes_text ? args[++*i] : std::string();
  if (option == "v" || option == "ve") {
    if (cmd->has_value) return false;
    cmd->has_value = true;
    cmd->value_name = text;
    cmd->value_default = option == "ve" || text.empty();
  } else if (option == "t") {
    if (cmd->has_type) return false;
    cmd->has_type = true;
    cmd->type_text = text;
  } else if (option == "d") {
    if (cmd->has_data) return false;
    cmd->has_data = true;
    cmd->data = text;
  } else if (option == "f") {
    if (cmd->force) return false;
    cmd->force = true;
  } else if (option == "s") {
    if (cmd->recurse) return false;
    cmd->recurse = true;
  } else if (option == "y") {
    cmd->overwrite = true;  // reg takes it more than once
  }
  return true;
}

}  // namespace

int parse_command_line(const std::vector<std::string>& args, RegCommand* cmd) {
  *cmd = RegCommand{};
  if (args.empty()) return invalid_syntax(RegOperation::kNone);
  cmd->operation = operation_of(args[0]);
  if (cmd->operation == RegOperation::kNone) {
    std::printf("reg: Invalid option [%s]. Type \"REG /?\" for help.\n",
                args[0].c_str());
    return 1;
  }
  if (cmd->operation == RegOperation::kHelp ||
      cmd->operation == RegOperation::kVersion) {
    return 0;
  }
  if (args.size() < 2 || is_switch(args[1])) {
    return invalid_syntax(cmd->operation);
  }
  if (cmd->operation == RegOperation::kImport) {
    if (args.size() != 2) return invalid_syntax(cmd->operation);
    cmd->file = args[1];
    return 0;
  }
  cmd->key_text = args[1];
  size_t first_option = 2;
  if (cmd->operation == RegOperation::kExport) {
    if (args.size() < 3 || is_switch(args[2])) {
      return invalid_syntax(cmd->operation);
    }
    cmd->file = args[2];
    first_option = 3;
  }
  for (size_t i = first_option; i < args.size(); i++) {
    if (!is_switch(args[i]) || !apply_option(args, &i, cmd)) {
      return invalid_syntax(cmd->operation);
    }
  }
  return 0;
}

bool parse_key(RegCommand* cmd) {
  const std::string& text = cmd->key_text;
  size_t slash = text.find('\\');
  std::string root = fold_text(text.substr(0, slash));
  if (root != "hklm" && root != "hkey_local_machine") {
    std::printf("reg: Invalid system key\n");
    return false;
  }
  std::string rest = slash == std::string::npos ? "" : text.substr(slash + 1);
  if (slash != std::string::npos && rest.empty()) {
    std::printf("reg: Invalid system key\n");
    return false;
  }
  if (!rest.empty() && rest.back() == '\\') rest.pop_back();
  if (!rest.empty() && rest.back() == '\\') {
    std::printf("reg: Invalid registry key\n");
    return false;
  }
  cmd->subpath = rest;
  cmd->display = "HKEY_LOCAL_MACHINE";
  if (!rest.empty()) cmd->display += "\\" + rest;
  return true;
}
