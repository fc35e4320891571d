// The one translation of POSIX errno values into Win32 error codes, for every
// POSIX backend.
#pragma once

#include "platform/types.h"

// The Win32 code for errno value error: ENOENT 2, ENOTDIR 3, EACCES, EPERM,
// EROFS and EISDIR 5, ENOMEM 8, E2BIG and ENAMETOOLONG 87, ENOSPC and EDQUOT
// 112, ENOEXEC 193; 31 (ERROR_GEN_FAILURE) for anything else and for 0.
StatusCode win32_error_from_errno(int error);
