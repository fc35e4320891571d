// The directory that holds all state of the POSIX platform: $ZEBCFG_ROOT, or
// /var/lib/zebcfg when that variable is unset or empty.
#pragma once

#include <string>

// The root directory, without a trailing slash.
std::string posix_root_dir();

// root/leaf.
std::string posix_root_path(const char* leaf);
