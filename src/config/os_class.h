// Platform classification, privilege gates and the osver command.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "platform/version.h"

typedef int32_t OsClass;

constexpr const char* OSR21_KEY_PATH =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OSR21";

// Classifies a version record (null: the query failed). is_admin is asked
// only on the NT family, osr21_present only for 9x 4.0 with letter B or C.
OsClass classify_version(const PlatformVersion* version, bool (*is_admin)(),
                         bool (*osr21_present)());

// Classifies the running platform afresh; 100 when the version query fails.
OsClass classify_platform();

// 87 when out is null; else the class in *out and the status of the version
// query: 0, or its failure, for which the class is 100.
StatusCode get_os_class(OsClass* out);

// 5 for classes 6, 8, 11; else 0.
StatusCode check_write_access();

// 0 for classes 5, 7, 10; 5 for 6, 8, 11; 0xF0000009 for every other.
StatusCode check_service_access();

// True for the administrator classes 5, 7 and 10.
bool is_admin_class(OsClass os_class);
