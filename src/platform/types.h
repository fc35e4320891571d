// Types and Win32 constants shared by the platform layer and the code above it.
//
// Every platform operation returns a StatusCode: 0 for success or the Win32
// error code of the failure. The constants below carry the Win32 values under
// names of their own, so that the win32 backend can include <windows.h>
// beside this header without clashes.
#pragma once

#include <cstdint>

typedef uint32_t StatusCode;

// Win32 error codes. Every code a backend produces is named here; the win32
// backend checks each against the SDK's value at compile time.
constexpr StatusCode W32_ERROR_SUCCESS = 0;
constexpr StatusCode W32_ERROR_FILE_NOT_FOUND = 2;
constexpr StatusCode W32_ERROR_PATH_NOT_FOUND = 3;
constexpr StatusCode W32_ERROR_ACCESS_DENIED = 5;
constexpr StatusCode W32_ERROR_INVALID_HANDLE = 6;
constexpr StatusCode W32_ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr StatusCode W32_ERROR_INVALID_DATA = 13;
constexpr StatusCode W32_ERROR_OUTOFMEMORY = 14;
constexpr StatusCode W32_ERROR_GEN_FAILURE = 31;
constexpr StatusCode W32_ERROR_NOT_SUPPORTED = 50;
constexpr StatusCode W32_ERROR_INVALID_PARAMETER = 87;
constexpr StatusCode W32_ERROR_DISK_FULL = 112;
constexpr StatusCode W32_ERROR_INSUFFICIENT_BUFFER = 122;
constexpr StatusCode W32_ERROR_INVALID_NAME = 123;
constexpr StatusCode W32_ERROR_BAD_PATHNAME = 161;
constexpr StatusCode W32_ERROR_BUSY = 170;
constexpr StatusCode W32_ERROR_BAD_EXE_FORMAT = 193;
constexpr StatusCode W32_ERROR_MORE_DATA = 234;
constexpr StatusCode W32_ERROR_NO_MORE_ITEMS = 259;
constexpr StatusCode W32_ERROR_FILE_INVALID = 1006;
constexpr StatusCode W32_ERROR_REGISTRY_CORRUPT = 1015;
constexpr StatusCode W32_ERROR_REGISTRY_IO_FAILED = 1016;
constexpr StatusCode W32_ERROR_KEY_DELETED = 1018;
constexpr StatusCode W32_ERROR_INVALID_SERVICE_CONTROL = 1052;
constexpr StatusCode W32_ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr StatusCode W32_ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr StatusCode W32_ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr StatusCode W32_ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr StatusCode W32_ERROR_NO_UNICODE_TRANSLATION = 1113;
constexpr StatusCode W32_ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION = 1459;

// The exit code GetExitCodeProcess reports for a process still running.
constexpr uint32_t W32_STILL_ACTIVE = 259;

// SetupAPI error codes.
constexpr StatusCode W32_ERROR_EXPECTED_SECTION_NAME = 0xE0000000;
constexpr StatusCode W32_ERROR_BAD_SECTION_NAME_LINE = 0xE0000001;
constexpr StatusCode W32_ERROR_SECTION_NAME_TOO_LONG = 0xE0000002;
constexpr StatusCode W32_ERROR_WRONG_INF_STYLE = 0xE0000100;
constexpr StatusCode W32_ERROR_SECTION_NOT_FOUND = 0xE0000101;
constexpr StatusCode W32_ERROR_LINE_NOT_FOUND = 0xE0000102;

// Registry access rights.
constexpr uint32_t W32_KEY_QUERY_VALUE = 0x0001;
constexpr uint32_t W32_KEY_SET_VALUE = 0x0002;
constexpr uint32_t W32_KEY_CREATE_SUB_KEY = 0x0004;
constexpr uint32_t W32_KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr uint32_t W32_KEY_NOTIFY = 0x0010;
constexpr uint32_t W32_KEY_READ = 0x20019;
constexpr uint32_t W32_KEY_WRITE = 0x20006;
constexpr uint32_t W32_KEY_ALL_ACCESS = 0xF003F;

// Registry value types.
constexpr uint32_t W32_REG_NONE = 0;
constexpr uint32_t W32_REG_SZ = 1;
constexpr uint32_t W32_REG_BINARY = 3;
constexpr uint32_t W32_REG_DWORD = 4;
constexpr uint32_t W32_REG_MULTI_SZ = 7;

// Dispositions of a key creation.
constexpr uint32_t W32_REG_CREATED_NEW_KEY = 1;
constexpr uint32_t W32_REG_OPENED_EXISTING_KEY = 2;

// Service manager.
constexpr uint32_t W32_GENERIC_READ = 0x80000000;
constexpr uint32_t W32_GENERIC_EXECUTE = 0x20000000;
constexpr uint32_t W32_GENERIC_ALL = 0x10000000;
constexpr uint32_t W32_SERVICE_QUERY_STATUS = 0x0004;
constexpr uint32_t W32_SERVICE_START = 0x0010;
constexpr uint32_t W32_SERVICE_STOP = 0x0020;
constexpr uint32_t W32_SERVICE_ALL_ACCESS = 0xF01FF;
constexpr uint32_t W32_SERVICE_STOPPED = 1;
constexpr uint32_t W32_SERVICE_START_PENDING = 2;
constexpr uint32_t W32_SERVICE_STOP_PENDING = 3;
constexpr uint32_t W32_SERVICE_RUNNING = 4;

// Message box style: OK button with the error icon.
constexpr uint32_t W32_MB_OK_ICONERROR = 0x10;

// Platform ids of the version record.
constexpr uint32_t W32_VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr uint32_t W32_VER_PLATFORM_WIN32_NT = 2;

// Result bit of the reboot prompt.
constexpr int32_t W32_SPFILEQ_REBOOT_IN_PROGRESS = 4;
