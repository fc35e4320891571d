#include "cli/entry.h"

int main(int argc, char** argv) { return run_entry(argc, argv); }
