// Setting, resetting and re-automating properties, and the name=value
// arguments of the set and create commands.
#include <gtest/gtest.h>

#include <string>

#include "cli/handlers.h"
#include "cli/status.h"
#include "device/device.h"
#include "device_test_support.h"
#include "property/property.h"

namespace {

class PropertySet : public DeviceStore {
 protected:
  void SetUp() override {
    DeviceStore::SetUp();
    make_device("zeb_dev_0", "Com1", "", nullptr);
    RegKey root = open_root();
    ASSERT_EQ(reg_open_key(root, "zeb_dev_0", 0x2001F, &key_), 0u);
    reg_close_key(root);
  }
  void TearDown() override {
    reg_close_key(key_);
    DeviceStore::TearDown();
  }

  StatusCode set(const char* name, int32_t action, const char* value) {
    PropertyRequest request = {};
    request.key = key_;
    request.name = const_cast<char*>(name);
    request.action = action;
    request.value = const_cast<char*>(value);
    return prop_set(setup(), &request);
  }

  std::string raw(const char* name) { return read_raw("zeb_dev_0", name); }
  int64_t dword(const char* name) { return read_dword("zeb_dev_0", name); }

  RegKey key_ = nullptr;
};

std::string sz(const std::string& text) { return text + '\0'; }

TEST_F(PropertySet, StoresTextAsTypedAndNumbersAsDwords) {
  EXPECT_EQ(set("port.parity", ACTION_SET, "odd"), 0u);
  EXPECT_EQ(raw("port.parity"), sz("odd"));
  EXPECT_EQ(set("Port.Name", ACTION_SET, "B=C"), 0u);
  EXPECT_EQ(raw("Port.Name"), sz("B=C"));
  EXPECT_EQ(set("Port.Count", ACTION_SET, "0xA"), 0u);
  EXPECT_EQ(dword("Port.Count"), 10);
  EXPECT_EQ(set("Port.Free", ACTION_SET, "-1"), 0u);
  EXPECT_EQ(dword("Port.Free"), 0xFFFFFFFFu);
  EXPECT_EQ(set("Port.Free", ACTION_SET, "99999999999"), 0u);
  EXPECT_EQ(dword("Port.Free"), 0x7FFFFFFF);
  EXPECT_EQ(set("Port.Odd", ACTION_SET, "5"), 0u);
  EXPECT_EQ(dword("Port.Odd"), 5);
}

struct RefusalCase {
  const char* name;
  int32_t action;
  const char* value;
  StatusCode status;
};

const RefusalCase kRefusalCases[] = {
    {"Port.Missing", ACTION_SET, "1", STATUS_UNKNOWN_PROP},
    {"Port.Secret", ACTION_SET, "1", STATUS_UNKNOWN_PROP},
    {"Port.Parity", ACTION_SET, "Odd", STATUS_RANGE},
    {"Port.Parity", ACTION_RESET, "", STATUS_RANGE},
    {"Port.Count", ACTION_SET, "11", STATUS_RANGE},
    {"Port.Count", ACTION_SET, "1 ", STATUS_INVALID_PARAM},
    {"Port.Free", ACTION_SET, "ten", STATUS_INVALID_PARAM},
    {"Port.Name", ACTION_SET, nullptr, STATUS_INVALID_PARAM},
    {"Port.Name", 0, "x", STATUS_INVALID_PARAM},
    {"Port.Name", 4, "x", STATUS_INVALID_PARAM},
    {"Port.Name", ACTION_AUTO, "", STATUS_INVALID_PARAM},
    {"Port.Transport", ACTION_SET, "usb", STATUS_INVALID_PARAM},
    {"Port.Transport", ACTION_RESET, "", STATUS_INVALID_PARAM},
    {"Port.Transport", ACTION_AUTO, "", STATUS_INVALID_PARAM},
    {"Port.Mode", ACTION_RESET, "", STATUS_INVALID_PARAM},
    {"Port.Name", ACTION_RESET, "", W32_ERROR_FILE_NOT_FOUND},
};

TEST_F(PropertySet, RefusalsWriteNothing) {
  for (const RefusalCase& c : kRefusalCases) {
    EXPECT_EQ(set(c.name, c.action, c.value), c.status) << c.name;
    EXPECT_EQ(raw(c.name), "<absent>") << c.name;
    EXPECT_EQ(raw("DevPartClass"), "<absent>") << c.name;
    EXPECT_EQ(dword("autocfg_mask"), 0xFFFFFFFFu) << c.name;
  }
  EXPECT_EQ(set(nullptr, ACTION_SET, "1"), STATUS_NO_ARGUMENT);
  EXPECT_EQ(prop_set(setup(), nullptr), STATUS_NO_ARGUMENT);
}

TEST_F(PropertySet, FailedLookupOfTheTransportValueNameStoresNothing) {
  fault_arm_subject(FaultPoint::kInfFindFirstLine, "cfg_strings:xpt_class_name",
                    W32_ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(set("Port.Transport", ACTION_SET, "tcp"),
            W32_ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(raw("DevPartClass"), "<absent>");
}

TEST_F(PropertySet, TransportClassIsMappedAndStoredAlone) {
  EXPECT_EQ(set("Port.Transport", ACTION_SET, "TCP"), 0u);
  EXPECT_EQ(raw("DevPartClass"), sz("ZebTcp"));
  EXPECT_EQ(raw("Port.Transport"), "<absent>");
  EXPECT_EQ(raw("TCP"), "<absent>");
}

TEST_F(PropertySet, SetsXptStoresTheClassWhenTheValueIsMapped) {
  EXPECT_EQ(set("Port.Mode", ACTION_SET, "custom"), 0u);
  EXPECT_EQ(raw("Port.Mode"), sz("custom"));
  EXPECT_EQ(raw("DevPartClass"), "<absent>");
  EXPECT_EQ(set("Port.Mode", ACTION_SET, "serial"), 0u);
  EXPECT_EQ(raw("Port.Mode"), sz("serial"));
  EXPECT_EQ(raw("DevPartClass"), sz("ZebSerial"));
}

TEST_F(PropertySet, AutomaticPropertyBookkeeping) {
  // Setting takes the property out of the automatic configuration.
  EXPECT_EQ(set("T1", ACTION_SET, "500"), 0u);
  EXPECT_EQ(dword("T1"), 500);
  EXPECT_EQ(dword("autocfg_mask"), 0xFFFFFFFDu);
  // Marking it automatic again leaves the value alone.
  EXPECT_EQ(set("T1", ACTION_AUTO, ""), 0u);
  EXPECT_EQ(dword("T1"), 500);
  EXPECT_EQ(dword("autocfg_mask"), 0xFFFFFFFFu);
  EXPECT_EQ(set("T1", ACTION_AUTO, ""), 0u);
  // A reset deletes the value and sets the bit.
  EXPECT_EQ(set("T1", ACTION_SET, "600"), 0u);
  EXPECT_EQ(set("T1", ACTION_RESET, ""), 0u);
  EXPECT_EQ(raw("T1"), "<absent>");
  EXPECT_EQ(dword("autocfg_mask"), 0xFFFFFFFFu);
  // With the bit already set, the reset's status is the deletion's.
  EXPECT_EQ(set("T1", ACTION_RESET, ""), W32_ERROR_FILE_NOT_FOUND);
  // ...and with the bit clear, the mask write's, whatever the deletion gave.
  RegKey key = make_key("zeb_dev_0");
  set_dword(key, "autocfg_mask", 0);
  reg_close_key(key);
  EXPECT_EQ(set("T1", ACTION_RESET, ""), 0u);
  EXPECT_EQ(dword("autocfg_mask"), 0x2);
}

TEST_F(PropertySet, AutoIndexAbove31HasNoMaskBit) {
  write_inf(setup_text("",
                       "Big = 1, 0x00200008\r\n"
                       "Top = 1, 0x001F0008\r\n",
                       kStandardXpt));
  RegKey key = make_key("zeb_dev_0");
  set_dword(key, "autocfg_mask", 0x7FFFFFFF);
  reg_close_key(key);
  EXPECT_EQ(set("Big", ACTION_SET, "5"), 0u);
  EXPECT_EQ(dword("autocfg_mask"), 0x7FFFFFFF);
  EXPECT_EQ(set("Big", ACTION_AUTO, ""), STATUS_INVALID_PARAM);
  EXPECT_EQ(set("Big", ACTION_RESET, ""), 0u);
  EXPECT_EQ(set("Big", ACTION_RESET, ""), W32_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(dword("autocfg_mask"), 0x7FFFFFFF);
  EXPECT_EQ(set("Top", ACTION_AUTO, ""), 0u);
  EXPECT_EQ(dword("autocfg_mask"), 0xFFFFFFFFu);
}

TEST_F(PropertySet, FailedValueWriteKeepsTheMask) {
  fault_arm_subject(FaultPoint::kRegSet, "T1", 1018);
  EXPECT_EQ(set("T1", ACTION_SET, "500"), 1018u);
  fault_clear();
  EXPECT_EQ(dword("autocfg_mask"), 0xFFFFFFFFu);
}

// A set whose mask cannot be written fails: the property would stay
// automatic, and the commit would overwrite the value just stored.
TEST_F(PropertySet, FailedMaskWriteFailsTheSet) {
  fault_arm_subject(FaultPoint::kRegSet, "autocfg_mask", 1018);
  EXPECT_EQ(set("T1", ACTION_SET, "500"), 1018u);
  fault_clear();
  EXPECT_EQ(dword("autocfg_mask"), 0xFFFFFFFFu);
}

// A mask that cannot be read (rather than one that is absent) must not be
// taken for 0: resetting would store a mask of that bit alone.
TEST_F(PropertySet, FailedMaskReadChangesNothing) {
  EXPECT_EQ(set("T1", ACTION_SET, "500"), 0u);
  for (int32_t action : {ACTION_SET, ACTION_RESET, ACTION_AUTO}) {
    fault_arm_subject(FaultPoint::kRegQuery, "autocfg_mask", 170);
    EXPECT_EQ(set("T1", action, "600"), 170u) << action;
    fault_clear();
    EXPECT_EQ(dword("autocfg_mask"), 0xFFFFFFFDu) << action;
    EXPECT_EQ(dword("T1"), 500) << action;
  }
}

TEST_F(PropertySet, ProbeOfTheMarkerMustSucceed) {
  RegKey key = make_key("zeb_dev_0");
  set_sz(key, nullptr, std::string(256, 'm'));
  reg_close_key(key);
  EXPECT_EQ(set("Port.Name", ACTION_SET, "x"), W32_ERROR_MORE_DATA);
  EXPECT_EQ(raw("Port.Name"), "<absent>");
}

TEST_F(PropertySet, ReadOnlyKeyRefusesTheWrite) {
  RegKey root = open_root();
  RegKey read_only = nullptr;
  ASSERT_EQ(reg_open_key(root, "zeb_dev_0", W32_KEY_READ, &read_only), 0u);
  reg_close_key(root);
  PropertyRequest request = {};
  request.key = read_only;
  request.name = const_cast<char*>("Port.Name");
  request.action = ACTION_SET;
  request.value = const_cast<char*>("x");
  EXPECT_EQ(prop_set(setup(), &request), W32_ERROR_ACCESS_DENIED);
  reg_close_key(read_only);
}

// Runs prop_set_args over the arguments after "s Com1", capturing output.
int32_t set_args(CommandContext* context, RegKey key,
                 std::vector<std::string> pairs, std::string* output) {
  std::vector<std::string> words = {"s", "Com1"};
  words.insert(words.end(), pairs.begin(), pairs.end());
  std::vector<char*> args;
  for (std::string& word : words) args.push_back(&word[0]);
  DeviceRecord device = {};
  device.key = key;
  testing::internal::CaptureStdout();
  int32_t result = prop_set_args(context, &device, MODE_NORMAL,
                                 static_cast<int32_t>(args.size()), &args[0]);
  *output = testing::internal::GetCapturedStdout();
  return result;
}

TEST_F(PropertySet, ArgumentsStopAtTheFirstFailureReportedOnce) {
  std::string output;
  EXPECT_EQ(
      set_args(context(), key_,
               {"Port.Name=first", "Port.Count=99", "Port.Free=3"}, &output),
      1);
  EXPECT_EQ(output, "Specified value is out of range\n");
  EXPECT_EQ(raw("Port.Name"), sz("first"));
  EXPECT_EQ(raw("Port.Free"), "<absent>");
}

TEST_F(PropertySet, ArgumentSyntax) {
  std::string output;
  EXPECT_EQ(
      set_args(context(), key_, {"Port.Name=a=b", "Port.Count=3"}, &output), 0);
  EXPECT_EQ(output, "");
  EXPECT_EQ(raw("Port.Name"), sz("a=b"));
  EXPECT_EQ(dword("Port.Count"), 3);
  EXPECT_EQ(set_args(context(), key_, {"Port.Name"}, &output), 1);
  EXPECT_EQ(output, "Command line syntax error\n");
  EXPECT_EQ(set_args(context(), key_, {std::string(256, 'n') + "=1"}, &output),
            1);
  EXPECT_EQ(output, "Command line syntax error\n");
  EXPECT_EQ(set_args(context(), key_, {std::string(255, 'n') + "=1"}, &output),
            1);
  EXPECT_EQ(output, "specified property name is not valid\n");
  // An empty value resets: a property with a stored value loses it.
  EXPECT_EQ(set_args(context(), key_, {"Port.Name="}, &output), 0);
  EXPECT_EQ(raw("Port.Name"), "<absent>");
  EXPECT_EQ(set_args(context(), key_, {"Port.Resettable=a", "Port.Resettable="},
                     &output),
            0);
  EXPECT_EQ(raw("Port.Resettable"), "<absent>");
}

}  // namespace
