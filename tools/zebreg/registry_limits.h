// The limits of the Windows registry, as Windows documents them and counts
// them, in UTF-16 units: a key name of 255 characters, a value name of
// 16,383, a tree 512 keys deep. Value data have no limit of their own (the
// current registry format keeps what memory holds); the store's own limit
// on a value refuses its write.
#pragma once

#include <string>

// Why the key path (names below HKEY_LOCAL_MACHINE, separated by '\'; empty
// names are passed over) lies beyond the registry's limits; "" when it lies
// within them.
std::string key_path_beyond_limits(const std::u16string& path);

// Why the value name lies beyond the registry's limits; "" when it lies
// within them.
std::string value_name_beyond_limits(const std::u16string& name);
