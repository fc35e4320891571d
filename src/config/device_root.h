// The device root key and the search for a device subkey by a value.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "config/setup_info.h"
#include "platform/lock.h"
#include "platform/registry.h"

// Rights on the device root: listing and reading, or also creating subkeys.
constexpr uint32_t ROOT_READ_ACCESS =
    W32_KEY_QUERY_VALUE | W32_KEY_ENUMERATE_SUB_KEYS;
constexpr uint32_t ROOT_WRITE_ACCESS = W32_KEY_QUERY_VALUE | W32_KEY_SET_VALUE |
                                       W32_KEY_CREATE_SUB_KEY |
                                       W32_KEY_ENUMERATE_SUB_KEYS;
constexpr uint32_t ROOT_PATH_CAPACITY = 260;

// Names of subkeys, as a search collects them.
typedef std::vector<std::string> SubkeyNames;

// Reads the path of the device root, [cfg_strings] "dev_reg_root", into
// path (ROOT_PATH_CAPACITY bytes): 0xF0000004 when it cannot be read.
StatusCode read_device_root_path(SetupInfo info, char* path);

// Opens the device root at path with the rights of write: 0xF000000B when
// it cannot be opened, whatever the registry's reason.
StatusCode open_device_root(const char* path, bool write, RegKey* root);

// Takes the lock that every writer of the subkeys of the device root at path
// holds while it works, so that parallel runs neither pick one subkey
// number twice nor create one name twice. Waits while another process holds
// it; taken over from a holder that died. The platform's code when it
// cannot be had.
StatusCode lock_device_root(const char* path, NamedLock* lock);

// Name of the first subkey of root whose value value_name equals wanted
// without regard to case; 2 when none does. A subkey whose value is absent
// or longer than a name value is passed over; one whose value cannot be read
// otherwise ends the search with that code. When unnamed is not null, it
// receives the names of the subkeys passed over because they hold no value
// value_name at all.
StatusCode find_subkey_by_value(RegKey root, const char* value_name,
                                const char* wanted, char* name,
                                uint32_t capacity,
                                SubkeyNames* unnamed = nullptr);

// One step of a walk over the root: the name of subkey number index into
// name (capacity bytes), and its value value_name as text into text (257
// bytes), the read's status in *read. The enumeration's or the open's
// failure is returned (259 past the last subkey).
StatusCode read_subkey_value(RegKey root, uint32_t index,
                             const char* value_name, char* name,
                             uint32_t capacity, char* text, StatusCode* read);

// What find_subkey_by_value would answer for every wanted text, from one
// walk of the root: the first subkey of each folded value text, up to where
// the walk ended, and the status that ended it (2 when it read every
// subkey); and what the walk met on its way.
struct SubkeyIndex {
  std::unordered_map<std::string, std::string> first;
  StatusCode end;
  std::unordered_set<std::string> subkeys;  // every subkey's name, folded
  SubkeyNames unnamed;  // the subkeys without a value of that name
};

// Walks root once into index, with a buffer of capacity bytes for subkey
// names, as the search does. Always 0: what ends the walk is kept in
// index->end.
StatusCode index_subkeys_by_value(RegKey root, const char* value_name,
                                  uint32_t capacity, SubkeyIndex* index);

// find_subkey_by_value's answer for wanted, from the index.
StatusCode find_in_subkey_index(const SubkeyIndex& index, const char* wanted,
                                std::string* subkey);

// True when the walk that made index met subkey, or it was added since.
bool subkey_index_has(const SubkeyIndex& index, const char* subkey);

// Keeps index the root's after the run that made it, holding the root's
// lock since, created subkey with the value text (add), or deleted subkey
// (remove; text, when not null, is the value it held).
void subkey_index_add(SubkeyIndex* index, const std::string& subkey,
                      const char* text);
void subkey_index_remove(SubkeyIndex* index, const std::string& subkey,
                         const char* text);
