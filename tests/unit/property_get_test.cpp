// Querying one property, the listing walk over [cfg_prop_map], and the lines
// of the p command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/handlers.h"
#include "cli/status.h"
#include "device/device.h"
#include "device_test_support.h"
#include "property/property.h"

namespace {

class PropertyGet : public DeviceStore {
 protected:
  void SetUp() override {
    DeviceStore::SetUp();
    make_device("zeb_dev_0", "Com1", "", nullptr);
    key_ = make_key("zeb_dev_0");
  }
  void TearDown() override {
    reg_close_key(key_);
    DeviceStore::TearDown();
  }

  // Queries name with a value buffer of size bytes.
  StatusCode get(const char* name, uint32_t size = 256) {
    value_.assign(size + 8, '#');
    request_ = PropertyRequest{};
    request_.key = key_;
    request_.name = const_cast<char*>(name);
    request_.value = &value_[0];
    request_.value_size = size;
    request_.state = -1;
    request_.type = -1;
    return prop_get(setup(), &request_);
  }

  const char* text() const { return value_.c_str(); }

  RegKey key_ = nullptr;
  std::string value_;
  PropertyRequest request_ = {};
};

TEST_F(PropertyGet, StatesOfAProperty) {
  ASSERT_EQ(get("Port.Name"), 0u);
  EXPECT_EQ(request_.state, STATE_DEFAULT);
  EXPECT_EQ(request_.type, TYPE_TEXT);
  set_sz(key_, "Port.Name", "hello");
  ASSERT_EQ(get("port.name"), 0u);
  EXPECT_EQ(request_.state, STATE_VALUE);
  EXPECT_STREQ(text(), "hello");
  // An automatic property: default until stored, then auto while its bit is
  // set, a plain value once the bit is clear.
  ASSERT_EQ(get("T1"), 0u);
  EXPECT_EQ(request_.state, STATE_DEFAULT);
  set_dword(key_, "T1", 4743);
  ASSERT_EQ(get("T1"), 0u);
  EXPECT_EQ(request_.state, STATE_AUTO);
  EXPECT_STREQ(text(), "4743");
  set_dword(key_, "autocfg_mask", 0xFFFFFFFD);
  ASSERT_EQ(get("T1"), 0u);
  EXPECT_EQ(request_.state, STATE_VALUE);
}

TEST_F(PropertyGet, NumbersAreShownAsSignedDecimal) {
  set_dword(key_, "Port.Free", 0xFFFFFFFF);
  ASSERT_EQ(get("Port.Free"), 0u);
  EXPECT_STREQ(text(), "-1");
  EXPECT_EQ(request_.type, TYPE_INTEGER);
  // A type other than 0 and 1 is shown like an integer.
  set_dword(key_, "Port.Odd", 1234);
  ASSERT_EQ(get("Port.Odd"), 0u);
  EXPECT_STREQ(text(), "1234");
  EXPECT_EQ(request_.type, 7);
  // The decimal text must fit with its terminator.
  set_dword(key_, "Port.Free", 0x80000000);
  ASSERT_EQ(get("Port.Free", 12), 0u);
  EXPECT_STREQ(text(), "-2147483648");
  EXPECT_EQ(get("Port.Free", 11), W32_ERROR_MORE_DATA);
  EXPECT_EQ(request_.state, -1);
  EXPECT_EQ(request_.type, -1);
}

TEST_F(PropertyGet, TextIsTerminatedInsideTheBuffer) {
  // Binary data without a zero byte that fills the buffer exactly.
  set_binary(key_, "Port.Name", std::string(256, 'b'));
  EXPECT_EQ(get("Port.Name"), W32_ERROR_MORE_DATA);
  EXPECT_STREQ(text(), "");
  set_binary(key_, "Port.Name", std::string(255, 'b'));
  ASSERT_EQ(get("Port.Name"), 0u);
  EXPECT_EQ(std::string(text()), std::string(255, 'b'));
  set_sz(key_, "Port.Name", std::string(255, 'c'));
  ASSERT_EQ(get("Port.Name"), 0u);
  EXPECT_EQ(std::string(text()), std::string(255, 'c'));
  set_sz(key_, "Port.Name", std::string(256, 'c'));
  EXPECT_EQ(get("Port.Name"), W32_ERROR_MORE_DATA);
  set_binary(key_, "Port.Name", "");
  ASSERT_EQ(get("Port.Name"), 0u);
  EXPECT_STREQ(text(), "");
}

TEST_F(PropertyGet, TransportClassIsShownByItsName) {
  EXPECT_EQ(get("Port.Transport"), STATUS_UNKNOWN_PROP);
  set_sz(key_, "DevPartClass", "ZEBTCP");
  ASSERT_EQ(get("Port.Transport"), 0u);
  EXPECT_STREQ(text(), "tcp");
  EXPECT_EQ(request_.state, STATE_VALUE);
  set_sz(key_, "DevPartClass", "ZebSerial");
  EXPECT_EQ(get("Port.Transport", 6), W32_ERROR_MORE_DATA);
  ASSERT_EQ(get("Port.Transport", 10), 0u);
  EXPECT_STREQ(text(), "serial");
  set_sz(key_, "DevPartClass", "ZebUsb");
  EXPECT_EQ(get("Port.Transport"), STATUS_INVALID_PARAM);
  set_binary(key_, "DevPartClass", std::string(256, 'Z'));
  EXPECT_EQ(get("Port.Transport"), W32_ERROR_MORE_DATA);
}

TEST_F(PropertyGet, Refusals) {
  EXPECT_EQ(get("Port.Secret"), STATUS_UNKNOWN_PROP);
  EXPECT_EQ(get("Port.Missing"), STATUS_UNKNOWN_PROP);
  EXPECT_EQ(prop_get(setup(), nullptr), STATUS_NO_ARGUMENT);
  PropertyRequest request = {};
  request.key = key_;
  request.name = const_cast<char*>("Port.Name");
  EXPECT_EQ(prop_get(setup(), &request), STATUS_NO_ARGUMENT);
  set_sz(key_, nullptr, "marker text 12");
  EXPECT_EQ(get("Port.Name"), W32_ERROR_MORE_DATA);
}

// Walks the listing with filter; the names, and the final status in *end.
std::vector<std::string> walk(SetupInfo info, RegKey key, int32_t filter,
                              StatusCode* end) {
  std::vector<std::string> names;
  char name[256];
  PropertyRequest request = {};
  request.key = key;
  request.name = name;
  request.filter = filter;
  StatusCode status = prop_first(info, &request);
  while (status == 0) {
    names.push_back(name);
    status = prop_next(info, &request);
  }
  *end = status;
  return names;
}

TEST_F(PropertyGet, ListingFilters) {
  StatusCode end = 0;
  EXPECT_EQ(walk(setup(), key_, LIST_ALL, &end),
            (std::vector<std::string>{
                "Port.Transport", "Port.Mode", "Port.BaudRate", "Port.Parity",
                "Port.Name", "Port.Resettable", "Port.Count", "Port.Free",
                "Port.Odd", "T0", "T1", "T2"}));
  EXPECT_EQ(end, STATUS_UNKNOWN_PROP);
  set_dword(key_, "port.stats", 1);
  set_dword(key_, "T0", 1);
  set_dword(key_, "Port.Secret", 1);
  EXPECT_EQ(walk(setup(), key_, LIST_STORED, &end),
            (std::vector<std::string>{"Port.Transport", "Port.Stats", "T0"}));
  EXPECT_EQ(end, STATUS_UNKNOWN_PROP);
  EXPECT_EQ(walk(setup(), key_, 3, &end).size(), 0u);
  EXPECT_EQ(end, W32_ERROR_NOT_SUPPORTED);
  for (int32_t filter : {0, 4, -1}) {
    walk(setup(), key_, filter, &end);
    EXPECT_EQ(end, W32_ERROR_INVALID_PARAMETER) << filter;
  }
}

TEST_F(PropertyGet, LineWithoutFlagsEndsTheListing) {
  write_inf(setup_text("",
                       "A = 0, 0\r\n"
                       "B = 0\r\n"
                       "C = 0, 0\r\n",
                       kStandardXpt));
  StatusCode end = 0;
  EXPECT_EQ(walk(setup(), key_, LIST_ALL, &end), std::vector<std::string>{"A"});
  EXPECT_EQ(end, STATUS_INF_CORRUPT);
}

// Runs the p command for name and returns what it printed.
std::string run_props(const char* name, int32_t* result) {
  std::string word = "p";
  std::string device = name;
  char* args[] = {&word[0], &device[0]};
  testing::internal::CaptureStdout();
  *result = props_handler(MODE_NORMAL, 2, args);
  return testing::internal::GetCapturedStdout();
}

TEST_F(PropertyGet, PropsCommandLines) {
  write_inf(setup_text("",
                       "Port.Transport = 0, 0x4\r\n"
                       "Port.Parity = 0, 0, \"none|odd\"\r\n"
                       "A.Very.Long.Property.Name.Here = 1, 0\r\n"
                       "T1 = 1, 0x00010008\r\n",
                       kStandardXpt));
  set_sz(key_, "Port.Parity", "odd");
  set_dword(key_, "T1", 4743);
  int32_t result = -1;
  std::string output = run_props("COM1", &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(output,
            "*** failed to get Port.Transport :"
            "specified property name is not valid\n"
            "List Properties for COM1\n"
            "Port.Parity               = odd\n"
            "A.Very.Long.Property.Name.Here= <default>\n"
            "T1                        = <auto>\n");
}

TEST_F(PropertyGet, PropsCommandOnAnUnknownDevice) {
  int32_t result = -1;
  EXPECT_EQ(run_props("Nope", &result), "Device not found\n");
  EXPECT_EQ(result, 1);
}

}  // namespace
