// The operations of zebreg over the platform registry.
#pragma once

#include "zebreg_args.h"

// Checks the key of cmd and runs its operation, printing what reg.exe prints;
// returns the process exit code (0 success, 1 failure).
int run_command(RegCommand* cmd);
