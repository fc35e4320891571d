// The registry layout of a device: one subkey of the device root per device,
// and the values that a device key holds. Every name, marker, size and right
// that the device and property code use on a device key is defined here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/types.h"

// Device subkeys are named DEVICE_SUBKEY_PREFIX followed by a decimal number.
constexpr const char* DEVICE_SUBKEY_PREFIX = "zeb_dev_";

// Buffers for the names of the device root's subkeys, by the walk that uses
// them (terminator included). The name search reads them into 17 bytes, so
// that a foreign subkey of 17 characters or more ends every search (and so
// every open) that meets it; the listing and the purge read any subkey;
// creation makes "zeb_dev_" and up to ten digits.
constexpr uint32_t SUBKEY_NAME_CAPACITY = 17;        // the name search
constexpr uint32_t ROOT_SUBKEY_NAME_CAPACITY = 256;  // listing and purge
constexpr size_t DEVICE_SUBKEY_NAME_CAPACITY = 19;   // creation

// The name value holds DEVICE_NAME_PREFIX followed by the device name.
constexpr const char* DEVICE_NAME_PREFIX = "ZEB_DEV_";
constexpr size_t DEVICE_NAME_PREFIX_LENGTH = 8;
// A name value holds at most 255 characters, so a device name at most 247.
constexpr size_t NAME_VALUE_MAX_LENGTH = 255;
constexpr size_t DEVICE_NAME_MAX_LENGTH =
    NAME_VALUE_MAX_LENGTH - DEVICE_NAME_PREFIX_LENGTH;

// The text of the name value of device name.
inline std::string device_name_text(const char* name) {
  return std::string(DEVICE_NAME_PREFIX) + name;
}

// [cfg_strings] keys naming two values of a device key, and their defaults.
constexpr const char* KEY_CONN_PORT_NAME = "conn_port_name";
constexpr const char* DEFAULT_NAME_VALUE_NAME = "FriendlyName";
constexpr const char* KEY_XPT_CLASS_NAME = "xpt_class_name";
constexpr const char* DEFAULT_XPT_CLASS_VALUE_NAME = "DevPartClass";

// Values with fixed names.
constexpr const char* VALUE_AUTOCFG_MASK = "autocfg_mask";
constexpr const char* VALUE_BAUD_RATE = "Port.BaudRate";
constexpr uint32_t AUTOCFG_MASK_ALL = 0xFFFFFFFFu;
constexpr uint32_t DEFAULT_BAUD_RATE = 9600;

// The state marker is the default value, REG_SZ of exactly two bytes. Only
// its first character counts; a key without a default value is committed.
constexpr char MARKER_NEW[2] = {'n', '\0'};
constexpr char MARKER_DOOMED[2] = {'d', '\0'};
constexpr char MARKER_COMMITTED[2] = {'\0', '\0'};
constexpr uint32_t MARKER_SIZE = 2;

// Buffer sizes in bytes (terminator included for texts).
constexpr uint32_t VALUE_NAME_CAPACITY = 256;        // names of values
constexpr uint32_t OPEN_VALUE_NAME_CAPACITY = 265;   // name value, device open
constexpr uint32_t NAME_VALUE_CAPACITY = 256;        // the name value's data
constexpr uint32_t WANTED_NAME_CAPACITY = 256;       // prefix plus device name
constexpr uint32_t XPT_CLASS_CAPACITY = 256;         // the transport class
constexpr uint32_t COMMIT_MARKER_CAPACITY = 8;       // marker read by commit
constexpr uint32_t PURGE_MARKER_CAPACITY = 8;        // marker read by purge
constexpr uint32_t SET_MARKER_PROBE_CAPACITY = 256;  // probe of property set
constexpr uint32_t GET_MARKER_PROBE_CAPACITY = 12;   // probe of property query
constexpr uint32_t LIST_NAME_CAPACITY = 256;         // the l handler's buffer

// Rights on a device key.
constexpr uint32_t DEVICE_READ_RIGHTS = W32_KEY_READ;
constexpr uint32_t DEVICE_WRITE_RIGHTS = W32_KEY_READ | W32_KEY_WRITE;
constexpr uint32_t DEVICE_CREATE_RIGHTS = W32_KEY_READ | W32_KEY_SET_VALUE;
