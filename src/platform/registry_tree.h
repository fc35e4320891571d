// Walks over whole registry trees, written once over the registry operations
// for every program of both builds: the names below a key, the deletion of a
// key with everything below it, and the split of a key path.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

// Splits path at its last backslash into the path of its parent ("" when
// path is one name) and its last name.
void split_key_path(const std::string& path, std::string* parent,
                    std::string* name);

// Appends the names of the subkeys of key, in the order the registry lists
// them; 0, or the code of the enumeration that failed.
StatusCode subkey_names(RegKey key, std::vector<std::string>* names);

// Deletes parent\name with every key below it; 2 when it does not exist.
// Stops at the first key that cannot be opened, listed or deleted and
// returns that code; the keys deleted before it stay deleted.
StatusCode delete_key_tree(RegKey parent, const std::string& name);

// Deletes HKEY_LOCAL_MACHINE\path with every key below it as
// delete_key_tree does; 2 when it or its parent does not exist.
StatusCode delete_key_path(const std::string& path);
