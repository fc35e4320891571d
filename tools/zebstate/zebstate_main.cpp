// zebstate: the driver's devices and property map as JSON desired state, for
// configuration engines (DSC v3 resources, detection scripts, Ansible).
//
//   zebstate get    [device|mapentry] [--input JSON]
//   zebstate test   [device|mapentry] [--detect] [--input JSON]
//   zebstate set    [device|mapentry] [--what-if] [--input JSON]
//   zebstate export [device|mapentry] [--input JSON (not used)]
//   zebstate schema device|mapentry
//
// Without --input (or --input-file PATH) the JSON is read from standard
// input; without a kind the input is a document of many instances.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "instance_json.h"
#include "platform/text_encoding.h"
#include "verbs.h"

#ifndef ZEBCFG_VERSION
#define ZEBCFG_VERSION "0.0.0"
#endif

namespace {

const char* const kHelp =
    "zebstate: the Zeb port driver's devices and property map as JSON state\n"
    "\n"
    "  zebstate get [device|mapentry] [--input JSON]     the actual state\n"
    "  zebstate test [device|mapentry] [--detect] [--input JSON]\n"
    "                                  the actual state and _inDesiredState\n"
    "  zebstate set [device|mapentry] [--what-if] [--input JSON]\n"
    "                                  make it so; the state, then what changed\n"
    "  zebstate export [device|mapentry]  every instance\n"
    "  zebstate schema device|mapentry    the JSON Schema of an instance\n"
    "  zebstate --help | --version\n"
    "\n"
    "Without a kind the input is a document: {\"devices\": [...], "
    "\"propertyMap\": [...]}.\n"
    "--input-file PATH reads it from a file; without either, the JSON is\n"
    "read from standard input.\n"
    "--detect: print and exit 0 only in the desired state, else exit 1.\n"
    "See zebstate(1).\n";

struct Verbs {
  const char* word;
  Verb verb;
};

const Verbs kVerbs[] = {{"get", VERB_GET},       {"test", VERB_TEST},
                        {"set", VERB_SET},       {"export", VERB_EXPORT},
                        {"schema", VERB_SCHEMA}, {nullptr, VERB_GET}};

int usage(const std::string& why) {
  StateError error = input_error(EXIT_USAGE, why + " (zebstate --help)");
  std::string line = error_line(error) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  return EXIT_USAGE;
}

bool find_verb(const std::string& word, Verb* verb) {
  for (const Verbs* row = kVerbs; row->word != nullptr; ++row) {
    if (word == row->word) {
      *verb = row->verb;
      return true;
    }
  }
  return false;
}

// The whole of standard input.
std::string read_standard_input() {
  std::string text;
  char buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof(buffer), stdin)) > 0) {
    text.append(buffer, got);
  }
  return text;
}

// The whole of the file at path (UTF-8); false when it cannot be read.
bool read_file(const std::string& path, std::string* text) {
  std::string system_path;
  if (text_from_utf8(path, &system_path) != 0) return false;
  FILE* file = std::fopen(system_path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
    text->append(buffer, got);
  }
  bool read = std::ferror(file) == 0;
  std::fclose(file);
  return read;
}

// The words after the verb; false with the reason for a word out of place.
bool read_options(const std::vector<std::string>& words, Invocation* run,
                  bool* has_input, std::string* input_file, std::string* why) {
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--input" && i + 1 < words.size() && !*has_input) {
      run->input = words[++i];
      *has_input = true;
    } else if (word == "--input-file" && i + 1 < words.size() && !*has_input) {
      *input_file = words[++i];
      *has_input = true;
    } else if (word == "--what-if" && run->verb == VERB_SET) {
      run->what_if = true;
    } else if (word == "--detect" && run->verb == VERB_TEST) {
      run->detect = true;
    } else if (i == 1 && word == "device") {
      run->kind = KIND_DEVICE;
    } else if (i == 1 && word == "mapentry") {
      run->kind = KIND_MAP_ENTRY;
    } else {
      *why = "unexpected argument: " + word;
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words = process_utf8_arguments(argc, argv);
  if (words.empty()) return usage("no verb");
  if (words[0] == "--help" || words[0] == "-h") {
    std::fputs(kHelp, stdout);
    return EXIT_OK;
  }
  if (words[0] == "--version") {
    std::printf("zebstate %s\n", ZEBCFG_VERSION);
    return EXIT_OK;
  }
  Invocation run = {VERB_GET, KIND_DOCUMENT, false, false, ""};
  if (!find_verb(words[0], &run.verb)) return usage("unknown verb: " + words[0]);
  bool has_input = false;
  std::string input_file;
  std::string why;
  if (!read_options(words, &run, &has_input, &input_file, &why)) {
    return usage(why);
  }
  if (!input_file.empty() && !read_file(input_file, &run.input)) {
    std::string line = error_line(input_error(
        EXIT_NOT_JSON, "cannot read the input file " + input_file)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    return EXIT_NOT_JSON;
  }
  // export takes an input, as DSC may pass one, and does not use it.
  bool takes_input = run.verb != VERB_EXPORT && run.verb != VERB_SCHEMA;
  if (has_input && run.verb == VERB_SCHEMA) {
    return usage("schema takes no input");
  }
  if (run.verb == VERB_SCHEMA && run.kind == KIND_DOCUMENT) {
    return usage("schema needs a kind: device or mapentry");
  }
  if (takes_input && !has_input) run.input = read_standard_input();
  std::string out;
  std::string err;
  int code = run_invocation(run, &out, &err);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return code;
}
