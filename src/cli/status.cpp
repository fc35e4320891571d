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
bool read_replacement(SetupInfo setup, const char* key, char* buffer,
                      size_t capacity) {
  return setup != nullptr &&
         get_setup_string(setup, SECTION_STRINGS, key, buffer,
                          static_cast<uint32_t>(capacity)) == 0;
}

}  // namespace

const StatusMessage kStatusMessageTable[] = {
    {STATUS_DUP_DEVICE, "msg_dup_device", "This device already exists"},
    {STATUS_DEV_NOT_FOUND, "msg_dev_not_fnd", "Device not found"},
    {STATUS_INF_NOT_FOUND, "msg_inf_not_fnd",
     "INF file not found - please re-install driver"},
    {STATUS_REG_ERROR, "msg_reg_err",
     "Error in configuration database found - driver re-installation "
     "recommended"},
    {STATUS_INF_CORRUPT, "msg_inf_corrupt", "INF file format error"},
    {STATUS_UNKNOWN_PROP, "msg_unk_prop",
     "specified property name is not valid"},
    {W32_ERROR_INVALID_PARAMETER, "msg_invalid",
     "System error - invalid parameter"},
    {W32_ERROR_ACCESS_DENIED, "msg_access",
     "Access denied (admin privilege required)"},
    {W32_ERROR_MORE_DATA, "msg_overflow", "Buffer overflow"},
    {STATUS_DEVICE_IS_OPEN, "msg_device_is_open",
     "Can not continue: an instance of the driver is still open."},
    {STATUS_INVALID_PARAM, "msg_invalid1", "Invalid parameter"},
    {STATUS_SYNTAX, "msg_syntax", "Command line syntax error"},
    {STATUS_OS, "msg_os", "Command not supported in this environment"},
    {STATUS_NO_XPT, "msg_no_xpt", "Transport type not specified"},
    {STATUS_RANGE, "msg_range", "Specified value is out of range"},
    {0, nullptr, "Unrecognized system error %d(0x%x)"},
};

void get_status_text(SetupInfo setup, StatusCode code, char* buffer,
                     size_t capacity) {
  if (buffer == nullptr || capacity == 0) return;
  const StatusMessage* row = find_status_row(code);
  const char* key = (row->key != nullptr) ? row->key : UNKNOWN_CODE_KEY;

  char format[REPLACEMENT_CUT + 1];
  if (read_replacement(setup, key, buffer, capacity)) {
    std::snprintf(format, sizeof format, "%s", buffer);
  } else {
    std::snprintf(format, sizeof format, "%s", row->text);
  }
  char work[STATUS_TEXT_CAPACITY];
  format_status_text(format, static_cast<int32_t>(code), work, sizeof work);
  std::snprintf(buffer, capacity, "%s", work);
}

void report_status(const CommandContext* context, OutputMode mode,
                   StatusCode code) {
  char text[STATUS_TEXT_CAPACITY] = {0};
  get_status_text(context != nullptr ? context->setup : nullptr, code, text,
                  sizeof text);
  if ((mode & MODE_DIALOG) != 0) {
    std::fflush(stdout);
    if (dialog_message_box(text, ERROR_BOX_TITLE, W32_MB_OK_ICONERROR) == 0) {
      return;
    }
    // Where nobody sees a box, the text goes where the plain form puts it.
  }
  if (!is_quiet(mode)) std::printf("%s\n", text);
}
