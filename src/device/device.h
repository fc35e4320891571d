// Device records: finding a device (open, close, removal), its commit with
// the automatic configuration, the purge of failed creations, listing and
// creation, one source file each. Every operation works in the command's
// context (config/command_context.h), whose device root the handler has
// opened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/command_context.h"
#include "config/setup_info.h"
#include "platform/registry.h"
#include "platform/types.h"

// Bit of DeviceRecord::access: open the device for reading only.
constexpr uint32_t ACCESS_READ_ONLY = 1;

// One device, from dev_open or dev_create to dev_close; or the cursor of a
// listing. The handler owns the record and the text behind name.
struct DeviceRecord {
  RegKey key;              // the open device key, until dev_close
  char* name;              // device name as typed; listing: output buffer
  uint32_t name_capacity;  // listing: size of the name buffer in bytes
  uint32_t access;         // ACCESS_READ_ONLY or 0
  uint32_t index;          // listing: device-root subkey being read
};

// --- Finding a device (device_find.cpp) ---

// Searches the context's root for the device called name: the name of its
// subkey goes into subkey (SUBKEY_NAME_CAPACITY bytes). value_name_capacity
// is the size of the buffer for the name value's name (at most 265). Returns
// the status of the search (or of the failed lookup of the name value's
// name); 2 also for a name too long for a name value. unnamed, when not
// null, collects the subkeys the search passed over for holding no name
// value.
StatusCode dev_find_subkey(const CommandContext* context, const char* name,
                           uint32_t value_name_capacity, char* subkey,
                           SubkeyNames* unnamed = nullptr);

// Finds the device called record->name (case of A-Z ignored) below the
// context's root and opens its key into record->key, for reading only with
// ACCESS_READ_ONLY, else for reading and writing. 0xF0000002 when no device
// has that name; on failure nothing stays open.
StatusCode dev_open(const CommandContext* context, DeviceRecord* record);

// The name search of every device at once: one walk of the context's
// root, which dev_open_indexed then answers from. It holds while no other
// writer of the root's subkeys runs (the root's lock keeps them out).
typedef SubkeyIndex DeviceIndex;
StatusCode dev_index(const CommandContext* context, DeviceIndex* index);

// Opens the device called record->name as dev_open does, found in index:
// 2 when no device has the name, another code when the walk that made the
// index could not read the root through as far as such a device (dev_open
// gives 0xF0000002 for both).
StatusCode dev_open_indexed(const CommandContext* context,
                            const DeviceIndex& index, DeviceRecord* record);

// dev_find_subkey's answer for the device called name, from index.
StatusCode dev_find_indexed(const DeviceIndex& index, const char* name,
                            std::string* subkey);

// Releases the record's key, if it holds one.
void dev_close(DeviceRecord* record);

// Deletes the key of the device called record->name, whatever its state,
// with the root's lock held. The root must be open for writing.
StatusCode dev_remove(CommandContext* context, DeviceRecord* record);

// As dev_remove, with the search answered by index (made under the root's
// lock, held since); the removed device leaves the index.
StatusCode dev_remove_indexed(CommandContext* context, DeviceIndex* index,
                              DeviceRecord* record);

// --- The commit (device_commit.cpp) ---

// Commits the open device: runs the automatic configuration when the device
// has a transport class and marks it committed; a new device whose commit
// fails is doomed and purged. The key stays open.
StatusCode dev_commit(CommandContext* context, DeviceRecord* record);

// Writes the automatic value of every [cfg_prop_map] line with PROP_AUTO
// whose bit is set in the device's "autocfg_mask". Lines whose auto index
// has no bit in the 32-bit mask are skipped.
StatusCode dev_auto_configure(SetupInfo info, RegKey device);

// The automatic value for auto index k at the given baud rate (non-zero).
uint32_t auto_value(uint32_t k, uint32_t baud);

// --- The purge (device_purge.cpp) ---

// Deletes every subkey of the device root whose marker begins with "d", and
// every device subkey left without its name value by a creation cut short,
// with the root's lock held.
StatusCode dev_purge(CommandContext* context);

// --- Listing (device_list.cpp) ---

// Listing: reads the first device name into record->name. 259 when there is
// no device.
StatusCode dev_first(const CommandContext* context, DeviceRecord* record);

// Listing: moves record->index on and reads that device name; 259 past the
// last subkey.
StatusCode dev_next(const CommandContext* context, DeviceRecord* record);

// Reads the device name of device-root subkey number record->index into
// record->name (record->name_capacity bytes). 2 when the subkey holds no
// name value with the "ZEB_DEV_" prefix, 234 when the name does not fit.
StatusCode dev_read_at(const CommandContext* context, DeviceRecord* record);

// Listing: the name of every device, in the order of the root's subkeys,
// into names; the status that ended the walk, 259 at its normal end (the
// names before a failure are kept).
StatusCode dev_list_names(const CommandContext* context,
                          std::vector<std::string>* names);

// --- Creation (device_create.cpp) ---

// Creates the key of a new device called record->name under the lowest free
// subkey number, marked new, with its name value and an all-ones mask; the
// key, open for reading and setting values, is left in record->key.
// 0xF0000001 when the device exists, 0xF0000006 for a name longer than 247
// characters; any other failure of the duplicate check is returned and
// nothing is created. The root's lock is held from the duplicate check on.
// Device subkeys without a name value, which a creation cut short leaves
// (on Windows a crash between the key's writes), are deleted before the
// number is chosen. The key's writes land as one group: where the platform
// can, a crash leaves no key or the whole of it. A write that fails deletes
// the half-made key again and gives its code. The root must be open for
// writing.
StatusCode dev_create(CommandContext* context, DeviceRecord* record);

// As dev_create, for a run that made index (dev_index) under the root's
// lock and holds it since: the duplicate check is the index's answer, the
// half-made keys are those the walk met, and the number is the lowest that
// the walk did not meet and that cannot be opened. The new device goes into
// the index, so that it stays the root's as this run leaves it.
StatusCode dev_create_indexed(CommandContext* context, DeviceIndex* index,
                              DeviceRecord* record);
