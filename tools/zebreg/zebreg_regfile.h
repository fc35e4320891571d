// export and import: registry files over the platform registry.
#pragma once

#include "zebreg_args.h"

// Writes the key of cmd with its whole subtree to cmd.file as reg export
// writes it, printing what reg prints; the exit code.
int run_export(const RegCommand& cmd);

// Applies the registry file cmd.file in one group of writes, so that it
// lands whole or not at all; prints what failed, naming the line; the exit
// code.
int run_import(const RegCommand& cmd);
