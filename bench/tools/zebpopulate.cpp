// zebpopulate: fills a device root with committed devices, fast, for the
// benchmarks. It writes through the platform layer, so the same program fills
// the embedded store of the native build and Wine's registry.
//
//   zebpopulate ROOT FIRST COUNT [PROPS]
//
// ROOT is the device root below HKEY_LOCAL_MACHINE (created when missing).
// Devices FIRST to FIRST+COUNT-1 are written as zeb_dev_<i> with the name
// Dev<i>, an empty state marker, an all-ones mask, the transport class
// XPT_SERIAL, the baud rate 9600 with its automatic timing values, and PROPS
// further text values P<j> (j = 0..PROPS-1). Exit code 0 on success; 1 with a
// line on standard error naming the failing step.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/registry.h"

namespace {

constexpr uint32_t kMask = 0xFFFFFFFF;
constexpr uint32_t kBaud = 9600;
constexpr uint32_t kTiming[] = {11, 4743, 9486};
const char* const kTimingNames[] = {"Timing.CharGap", "Timing.RxTimeout",
                                    "Timing.TxTimeout"};

// Writes a text value, terminator counted.
StatusCode put_text(RegKey key, const char* name, const std::string& text) {
  return reg_set_value(key, name, W32_REG_SZ, text.c_str(),
                       static_cast<uint32_t>(text.size() + 1));
}

// Writes a 32-bit number.
StatusCode put_number(RegKey key, const char* name, uint32_t value) {
  return reg_set_value(key, name, W32_REG_DWORD, &value, sizeof value);
}

// Writes every value of device number index into key.
StatusCode put_device(RegKey key, unsigned long index, unsigned long props) {
  char number[32];
  std::snprintf(number, sizeof number, "%lu", index);
  StatusCode status = put_text(key, "", "");
  if (status == 0)
    status = put_text(key, "FriendlyName", std::string("ZEB_DEV_Dev") + number);
  if (status == 0) status = put_number(key, "autocfg_mask", kMask);
  if (status == 0) status = put_text(key, "DevPartClass", "XPT_SERIAL");
  if (status == 0) status = put_number(key, "Port.BaudRate", kBaud);
  for (int k = 0; k < 3 && status == 0; ++k) {
    status = put_number(key, kTimingNames[k], kTiming[k]);
  }
  for (unsigned long j = 0; j < props && status == 0; ++j) {
    std::string name = "P" + std::to_string(j);
    status = put_text(key, name.c_str(), "value" + std::to_string(j));
  }
  return status;
}

// Creates root\zeb_dev_<index> and fills it.
StatusCode make_device(RegKey root, unsigned long index, unsigned long props) {
  std::string name = "zeb_dev_" + std::to_string(index);
  RegKey key = nullptr;
  StatusCode status =
      reg_create_key(root, name.c_str(), W32_KEY_ALL_ACCESS, &key, nullptr);
  if (status != 0) return status;
  status = put_device(key, index, props);
  reg_close_key(key);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: zebpopulate ROOT FIRST COUNT [PROPS]\n");
    return 1;
  }
  unsigned long first = std::strtoul(argv[2], nullptr, 10);
  unsigned long count = std::strtoul(argv[3], nullptr, 10);
  unsigned long props = argc == 5 ? std::strtoul(argv[4], nullptr, 10) : 0;
  RegKey root = nullptr;
  StatusCode status = reg_create_key(reg_local_machine(), argv[1],
                                     W32_KEY_ALL_ACCESS, &root, nullptr);
  if (status != 0) {
    std::fprintf(stderr, "zebpopulate: cannot create %s: %u\n", argv[1],
                 status);
    return 1;
  }
  for (unsigned long i = first; i < first + count && status == 0; ++i) {
    status = make_device(root, i, props);
    if (status != 0) {
      std::fprintf(stderr, "zebpopulate: device %lu: %u\n", i, status);
    }
  }
  reg_close_key(root);
  return status == 0 ? 0 : 1;
}
