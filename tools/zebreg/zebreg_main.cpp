// zebreg: reg.exe's add, query, delete, export and import over the POSIX
// registry store.
#include <string>
#include <vector>

#include "zebreg_args.h"
#include "zebreg_commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  RegCommand cmd;
  int code = parse_command_line(args, &cmd);
  if (code != 0) return code;
  return run_command(&cmd);
}
