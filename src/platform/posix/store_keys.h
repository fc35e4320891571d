// Keys of the store that the POSIX backends keep for themselves, as paths
// below HKEY_LOCAL_MACHINE.
#pragma once

// The version record (PlatformId, MajorVersion, MinorVersion, CSDVersion) and
// the reboot request (RebootPending).
constexpr const char kPlatformKeyPath[] = "System\\Platform";

// The parent of the emulated services, one subkey each.
constexpr const char kServicesKeyPath[] =
    "System\\CurrentControlSet\\Services\\";
