#include "cli/status.h"

#include <cstdio>
#include <cstring>

#include "cli/safe_format.h"
#include "config/setup_info.h"
#include "platform/dialog.h"

namespace {

constexpr size_t REPLACEMENT_CUT = 368;
constexpr const char* UNKNOWN_CODE_KEY = "msg_unknown";
constexpr const char* ERROR_BOX_TITLE = "Error";

// The row for code, or the closing row when no row holds it.
const StatusMessage* find_status_row(StatusCode code) {
  const StatusMessage* row = kStatusMessageTable;
  while (row->key != nullptr && row->code != code) ++row;
  return row;
}

// Reads the replacement text for key from the setup file into buffer.
bool read_replacement(const char* key, char* buffer, size_t capacity) {
  SetupInfo info = nullptr;
  if (open_setup_info(&info) != 0) return false;
  StatusCode status = get_setup_string(info, SECTION_STRINGS, key, buffer,
                                       static_cast<uint32_t>(capacity));
  close_setup_info(info);
  return status == 0;
}

}  // namespace

const StatusMessage kStatusMessageTable[] = {
    {0xF0000001, "msg_dup_device", "This device already exists"},
    {0xF0000002, "msg_dev_not_fnd", "Device not found"},
    {0xF0000003, "msg_inf_not_fnd",
     "INF file not found - please re-install driver"},
    {0xF000000B, "msg_reg_err",
     "Error in configuration database found - driver re-installation "
     "recommended"},
    {0xF0000004, "msg_inf_corrupt", "INF file format error"},
    {0xF0000005, "msg_unk_prop", "specified property name is not valid"},
    {87, "msg_invalid", "System error - invalid parameter"},
    {5, "msg_access", "Access denied (admin privilege required)"},
    {234, "msg_overflow", "Buffer overflow"},
    {0xF000000C, "msg_device_is_open",
     "Can not continue: an instance of the driver is still open."},
    {0xF0000006, "msg_invalid1", "Invalid parameter"},
    {0xF0000008, "msg_syntax", "Command line syntax error"},
    {0xF0000009, "msg_os", "Command not supported in this environment"},
    {0xF000000A, "msg_no_xpt", "Transport type not specified"},
    {0xF0000007, "msg_range", "Specified value is out of range"},
    {0, nullptr, "Unrecognized system error %d(0x%x)"},
};

void get_status_text(StatusCode code, char* buffer, size_t capacity) {
  if (buffer == nullptr || capacity == 0) return;
  const StatusMessage* row = find_status_row(code);
  const char* key = (row->key != nullptr) ? row->key : UNKNOWN_CODE_KEY;

  char format[REPLACEMENT_CUT + 1];
  if (read_replacement(key, buffer, capacity)) {
    std::snprintf(format, sizeof format, "%s", buffer);
  } else {
    std::snprintf(format, sizeof format, "%s", row->text);
  }
  char work[STATUS_TEXT_CAPACITY];
  format_status_text(format, static_cast<int32_t>(code), work, sizeof work);
  std::snprintf(buffer, capacity, "%s", work);
}

void report_status(OutputMode mode, StatusCode code) {
  char text[STATUS_TEXT_CAPACITY] = {0};
  get_status_text(code, text, sizeof text);
  if ((mode & MODE_DIALOG) != 0) {
    std::fflush(stdout);
    dialog_message_box(text, ERROR_BOX_TITLE, W32_MB_OK_ICONERROR);
  } else if ((mode & MODE_QUIET) == 0) {
    std::printf("%s\n", text);
  }
}
