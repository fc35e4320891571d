// The directory that holds all state of the POSIX platform
// (platform/folders.h): $ZEBCFG_ROOT, or /var/lib/zebcfg when that variable is
// unset or empty.
#pragma once

#include <string>

#include "platform/folders.h"

// root/leaf.
std::string posix_root_path(const char* leaf);
