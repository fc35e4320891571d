// The system's own status codes, beside the Win32 codes that the platform
// layer passes through (platform/types.h). Each is raised by the layer that
// first needs it; the command front end turns them into texts.
#pragma once

#include "platform/types.h"

constexpr StatusCode STATUS_DUP_DEVICE = 0xF0000001;
constexpr StatusCode STATUS_DEV_NOT_FOUND = 0xF0000002;
constexpr StatusCode STATUS_INF_NOT_FOUND = 0xF0000003;
constexpr StatusCode STATUS_INF_CORRUPT = 0xF0000004;
constexpr StatusCode STATUS_UNKNOWN_PROP = 0xF0000005;
constexpr StatusCode STATUS_INVALID_PARAM = 0xF0000006;
constexpr StatusCode STATUS_RANGE = 0xF0000007;
constexpr StatusCode STATUS_SYNTAX = 0xF0000008;
constexpr StatusCode STATUS_OS = 0xF0000009;
constexpr StatusCode STATUS_NO_XPT = 0xF000000A;
constexpr StatusCode STATUS_REG_ERROR = 0xF000000B;
constexpr StatusCode STATUS_DEVICE_IS_OPEN = 0xF000000C;
// An operation called without its argument record.
constexpr StatusCode STATUS_NO_ARGUMENT = 0xF0000040;
