#include "platform/posix/errno_status.h"

#include <errno.h>

StatusCode win32_error_from_errno(int error) {
  switch (error) {
    case ENOENT:
      return W32_ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return W32_ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return W32_ERROR_ACCESS_DENIED;
    case ENOMEM:
      return W32_ERROR_NOT_ENOUGH_MEMORY;
    case E2BIG:
    case ENAMETOOLONG:
      return W32_ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT:
      return W32_ERROR_DISK_FULL;
    case ENOEXEC:
      return W32_ERROR_BAD_EXE_FORMAT;
    default:
      return W32_ERROR_GEN_FAILURE;
  }
}
