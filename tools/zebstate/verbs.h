// The verbs of zebstate, each over one command context: get, test, set
// (with what-if), export and schema, for one instance of a kind or for a
// document of many.
#pragma once

#include <string>

enum InstanceKind { KIND_DOCUMENT, KIND_DEVICE, KIND_MAP_ENTRY };

enum Verb { VERB_GET, VERB_TEST, VERB_SET, VERB_EXPORT, VERB_SCHEMA };

struct Invocation {
  Verb verb;
  InstanceKind kind;
  bool what_if;        // set: report what would change, write nothing
  bool detect;         // test: print only when in the desired state, and
                       // exit 1 otherwise
  std::string input;   // the JSON input, UTF-8
};

// Runs the verb: its JSON lines for standard output go into *out, a
// failure's JSON line (and nothing into *out) into *err; returns the exit
// code.
int run_invocation(const Invocation& invocation, std::string* out,
                   std::string* err);
