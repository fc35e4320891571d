// What one command works with: the setup file, the device root and, for a
// writer of the root's subkeys, the root's lock. The command's handler opens
// it once, hands it to the layers below and closes it at its end; nothing
// below the handler opens the setup file or the root again.
#pragma once

#include <cstdint>

#include "config/device_root.h"
#include "config/setup_info.h"
#include "platform/lock.h"
#include "platform/registry.h"

struct CommandContext {
  SetupInfo setup;                     // the setup file; null when not had
  StatusCode setup_status;             // why setup is null, else 0
  char root_path[ROOT_PATH_CAPACITY];  // [cfg_strings] "dev_reg_root"
  RegKey root;                         // the device root, once opened
  bool root_writable;                  // root was opened for writing
  NamedLock lock;                      // the root's lock, once taken
};

// Opens the setup file into a fresh context. When it cannot be had, its
// status (0xF0000003 or 0xF0000004) waits in setup_status for the first
// operation that needs the file; until then the context serves reporting,
// which falls back on the built-in texts.
void context_open(CommandContext* context);

// The context's setup file into *info: 0, or the status its open failed with
// (0xF0000040 for a missing context or one never opened).
StatusCode context_setup(const CommandContext* context, SetupInfo* info);

// The step every device command begins with: the privilege gate when write
// is set (5), the setup file's status, the root's path (0xF0000004) and the
// root itself, opened for reading or for writing (0xF000000B).
StatusCode context_open_root(CommandContext* context, bool write);

// Takes the lock of the context's device root, once per command: a context
// that holds it already keeps it. The root must be open.
StatusCode context_lock_root(CommandContext* context);

// Releases the lock, the root and the setup file, whichever are held.
void context_close(CommandContext* context);
