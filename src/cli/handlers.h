// The command handlers of the command table, one per group of command words.
#pragma once

#include "cli/entry.h"
#include "config/command_context.h"
#include "device/device.h"

int32_t add_handler(OutputMode mode, int32_t count, char* const* args);
int32_t remove_handler(OutputMode mode, int32_t count, char* const* args);
int32_t list_handler(OutputMode mode, int32_t count, char* const* args);
int32_t props_handler(OutputMode mode, int32_t count, char* const* args);
int32_t set_handler(OutputMode mode, int32_t count, char* const* args);
int32_t map_list_handler(OutputMode mode, int32_t count, char* const* args);
int32_t map_set_handler(OutputMode mode, int32_t count, char* const* args);
int32_t osver_handler(OutputMode mode, int32_t count, char* const* args);
int32_t reboot_handler(OutputMode mode, int32_t count, char* const* args);
int32_t stop_handler(OutputMode mode, int32_t count, char* const* args);
int32_t restart_handler(OutputMode mode, int32_t count, char* const* args);
int32_t msg_handler(OutputMode mode, int32_t count, char* const* args);
int32_t wait_handler(OutputMode mode, int32_t count, char* const* args);

// The work of a command in its context, with the handler's arguments.
typedef int32_t (*ContextCommand)(CommandContext* context, OutputMode mode,
                                  int32_t count, char* const* args);

// Opens a command context (the setup file), runs command in it and closes
// it again; returns the command's exit code.
int32_t run_in_context(ContextCommand command, OutputMode mode, int32_t count,
                       char* const* args);

// Shared by the a and s handlers: prints their syntax line for word
// ("syntax: zebcfg a <name> prop1=value [prop2=...]") unless mode is quiet,
// and returns the exit code 1.
int32_t pairs_syntax_error(OutputMode mode, const char* word);

// Shared by the a and s handlers: applies the pairs of args with
// prop_set_args, then commits and closes the device, reporting a failed
// commit. The exit code: 0 when every pair and the commit succeeded, else 1.
int32_t set_pairs_and_commit(CommandContext* context, DeviceRecord* device,
                             OutputMode mode, int32_t count, char* const* args);

// Shared by the a and s handlers: applies the name=value arguments
// args[2..count-1] to the open device in order, stopping at the first
// failure, which it reports itself with mode. Returns 0 when all were stored,
// else 1.
int32_t prop_set_args(CommandContext* context, const DeviceRecord* device,
                      OutputMode mode, int32_t count, char* const* args);
