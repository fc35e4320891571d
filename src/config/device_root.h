// The device root key and the search for a device subkey by a value.
#pragma once

#include <cstdint>

#include "config/setup_info.h"
#include "platform/lock.h"
#include "platform/registry.h"

constexpr uint32_t ROOT_READ_ACCESS = 9;    // query value, enumerate
constexpr uint32_t ROOT_WRITE_ACCESS = 15;  // ... set value, create subkey
constexpr uint32_t SUBKEY_NAME_CAPACITY = 17;
constexpr uint32_t ROOT_PATH_CAPACITY = 260;

// Opens the key named by [cfg_strings] "dev_reg_root": 0xF0000004 when the
// path cannot be read, 0xF000000B when the key cannot be opened.
StatusCode open_device_root(SetupInfo info, bool write, RegKey* root);

// Write gate (when writing), setup file, device root; on failure nothing
// stays open.
StatusCode open_setup_and_root(bool write, SetupInfo* info, RegKey* root);

// Takes the lock named for the device root of [cfg_strings] "dev_reg_root",
// which every writer of the root's subkeys holds while it works, so that
// parallel runs neither pick one subkey number twice nor create one name
// twice. Waits while another process holds it; taken over from a holder that
// died. 0xF0000004 when the path cannot be read; the platform's code when
// the lock cannot be had.
StatusCode lock_device_root(SetupInfo info, NamedLock* lock);

// Name of the first subkey of root whose value value_name equals wanted
// without regard to case.
StatusCode find_subkey_by_value(RegKey root, const char* value_name,
                                const char* wanted, char* name,
                                uint32_t capacity);
