// The commit of a device: the automatic configuration of its timing values
// and its state marker, and the purge of a new device whose commit failed.
#include "config/prop_map_line.h"
#include "config/status_codes.h"
#include "device/device.h"
#include "device/device_layout.h"
#include "device/device_value.h"
#include "platform/inf.h"

namespace {

// Reads the commit's copy of the state marker: 0 with the first character
// in *first (0 when the key has no default value), or the read's failure.
StatusCode read_commit_marker(RegKey key, char* first) {
  char marker[COMMIT_MARKER_CAPACITY] = {0};
  uint32_t size = sizeof(marker);
  StatusCode status = reg_query_value(key, nullptr, nullptr, marker, &size);
  if (status == W32_ERROR_FILE_NOT_FOUND) {
    *first = '\0';
    return 0;
  }
  if (status != 0) return status;
  *first = size > 0 ? marker[0] : '\0';
  return 0;
}

// Steps of a commit that need the transport class: 0xF000000A without one,
// else the automatic configuration, and the empty marker when it succeeds.
StatusCode configure_and_mark(SetupInfo info, RegKey key) {
  char value_name[VALUE_NAME_CAPACITY];
  StatusCode status =
      xpt_class_value_name(info, value_name, sizeof(value_name));
  if (status != 0) return status;
  char xpt_class[XPT_CLASS_CAPACITY + 1];
  if (read_text_value(key, value_name, xpt_class, XPT_CLASS_CAPACITY) != 0) {
    return STATUS_NO_XPT;
  }
  status = dev_auto_configure(info, key);
  if (status == 0) status = write_marker(key, MARKER_COMMITTED);
  return status;
}

}  // namespace

StatusCode dev_commit(CommandContext* context, DeviceRecord* record) {
  if (record == nullptr || record->key == nullptr) return STATUS_NO_ARGUMENT;
  if (context == nullptr || context->setup == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  char marker = '\0';
  StatusCode status = read_commit_marker(record->key, &marker);
  if (status != 0) return status;
  status = configure_and_mark(context->setup, record->key);
  if (status != 0 && marker == MARKER_NEW[0]) {
    write_marker(record->key, MARKER_DOOMED);
    dev_purge(context);
  }
  return status;
}


uint32_t auto_value(uint32_t k, uint32_t baud) {
  if (baud == 0) baud = DEFAULT_BAUD_RATE;
  switch (k) {
    case 0:
      return 14000u / baud + 10u;
    case 1: {
      uint32_t value = 45056000u / baud + 50u;
      return value < 250u ? 250u : value;
    }
    case 2: {
      uint32_t value = 90112000u / baud + 100u;
      return value < 3000u ? 3000u : value;
    }
    default:
      return 0;
  }
}

StatusCode dev_auto_configure(SetupInfo info, RegKey device) {
  uint32_t mask = 0;
  StatusCode status = read_dword_or(device, VALUE_AUTOCFG_MASK, 0, &mask);
  if (status != 0) return status;
  uint32_t baud = 0;
  status = read_dword_or(device, VALUE_BAUD_RATE, DEFAULT_BAUD_RATE, &baud);
  if (status != 0) return status;
  if (baud == 0) baud = DEFAULT_BAUD_RATE;
  for (uint32_t index = 0;; ++index) {
    InfLine line;
    status = inf_get_line_by_index(info, SECTION_PROP_MAP, index, &line);
    if (status == W32_ERROR_LINE_NOT_FOUND) return 0;
    if (status != 0) return status;
    char key[VALUE_NAME_CAPACITY];
    status = inf_get_string_field(&line, 0, key, sizeof(key), nullptr);
    if (status != 0) return status;
    int32_t flags = 0;
    status = inf_get_int_field(&line, 2, &flags);
    if (status != 0) return status;
    uint32_t flag_bits = static_cast<uint32_t>(flags);
    uint32_t bit = 0;
    if (!auto_mask_bit(flag_bits, &bit) || (mask & bit) == 0) continue;
    status =
        write_dword_value(device, key, auto_value(auto_index(flag_bits), baud));
    if (status != 0) return status;
  }
}

