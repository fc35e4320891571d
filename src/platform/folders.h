// The folders where the platform keeps its files.
#pragma once

#include <string>

// The folder that holds the platform's state, without a trailing separator:
// natively the root of the store, $ZEBCFG_ROOT or else /var/lib/zebcfg (the
// counterpart of a Wine prefix); on Windows the Windows folder ("" in the
// unlikely case that Windows cannot say where it is).
std::string platform_root_dir();

// The folder of INF files, where inf_open finds a bare file name and that
// directory id 17 names: <root>/inf natively, the Windows folder's inf on
// Windows ("" where platform_root_dir is).
std::string platform_inf_dir();
