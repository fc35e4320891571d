// zebstate's logic: the JSON reader's refusals and the writer's escapes, and
// what-if's prediction, held against what set then really leaves.
#include <gtest/gtest.h>

#include <string>

#include "device_test_support.h"
#include "instance_json.h"
#include "json.h"
#include "state.h"

namespace {

struct JsonCase {
  const char* text;
  const char* error;  // the start of the refusal; null when it reads
};

const JsonCase kJsonCases[] = {
    {"{\"a\": [1, -0, 2.5e3, true, false, null, \"x\"]}", nullptr},
    {"  \"\\ud83d\\ude00\"\n", nullptr},
    {"{\"a\": 1, \"a\": 2}", "name given twice at byte 9"},
    {"\"\\ud800\"", "lone surrogate"},
    {"\"\\udc00\"", "lone surrogate"},
    {"\"\\ud800\\u0041\"", "lone surrogate"},
    {"\"\xC3\x28\"", "text that is not UTF-8"},
    {"\"\xED\xA0\x80\"", "text that is not UTF-8"},  // a surrogate's bytes
    {"\"\xC0\xAF\"", "text that is not UTF-8"},      // an overlong form
    {"\"a\tb\"", "control character in string"},
    {"01", "text after the value"},
    {"1.", "bad number"},
    {"-", "bad number"},
    {"[1,]", "unexpected character"},
    {"{\"a\" 1}", "expected :"},
    {"[1] x", "text after the value"},
    {"\"\\x\"", "bad escape"},
    {"", "no value"},
};

TEST(ZebstateJson, ReadsWhatTheGrammarAllowsAndNothingElse) {
  for (const JsonCase& c : kJsonCases) {
    JsonValue value;
    std::string error;
    bool read = json_parse(c.text, &value, &error);
    if (c.error == nullptr) {
      EXPECT_TRUE(read) << c.text << ": " << error;
    } else {
      EXPECT_FALSE(read) << c.text;
      EXPECT_EQ(error.compare(0, std::strlen(c.error), c.error), 0)
          << c.text << ": " << error;
    }
  }
  std::string deep(65, '[');
  JsonValue value;
  std::string error;
  EXPECT_FALSE(json_parse(deep + std::string(65, ']'), &value, &error));
  EXPECT_EQ(error.compare(0, 17, "nesting too deep "), 0) << error;
}

TEST(ZebstateJson, NumbersKnowWhetherTheyAreWhole) {
  struct {
    const char* text;
    bool integral;
    int64_t integer;
  } cases[] = {{"42", true, 42},  {"-7", true, -7},
               {"1.0", true, 1},  {"1e3", true, 1000},
               {"1.5", false, 0}, {"9223372036854775808", false, 0}};
  for (const auto& c : cases) {
    JsonValue value;
    std::string error;
    ASSERT_TRUE(json_parse(c.text, &value, &error)) << c.text;
    EXPECT_EQ(value.integral, c.integral) << c.text;
    if (c.integral) {
      EXPECT_EQ(value.integer, c.integer) << c.text;
    }
  }
}

TEST(ZebstateJson, WritesOneLineThatReadsBackTheSame) {
  JsonValue object = json_object();
  std::string text =
      "quote \" backslash \\ line\nfeed\ttab \x01 Gr\xC3\xBC\xC3\x9F"
      "e";
  json_add(&object, "text", json_string(text));
  json_add(&object, "n", json_integer(-2147483648LL));
  std::string line = json_write(object);
  EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  EXPECT_NE(line.find("\\u0001"), std::string::npos) << line;
  JsonValue back;
  std::string error;
  ASSERT_TRUE(json_parse(line, &back, &error)) << error;
  EXPECT_EQ(json_member(back, "text")->text, text);
  EXPECT_EQ(json_member(back, "n")->integer, -2147483648LL);
}

// What-if predicts the state that set then leaves: for each case, the
// device is made as the first input asks, and the second input's prediction
// must equal the state after it is applied.
struct PredictionCase {
  const char* label;
  const char* before;  // a device instance, or null for none
  const char* desired;
};

const PredictionCase kPredictionCases[] = {
    {"creation", nullptr,
     "{\"name\":\"COM1\",\"properties\":{\"Port.Transport\":\"serial\","
     "\"Port.BaudRate\":115200,\"T1\":{\"auto\":true}}}"},
    {"a transport through a property that also sets it", nullptr,
     "{\"name\":\"COM1\",\"properties\":{\"Port.Mode\":\"tcp\"}}"},
    {"a new baud rate moves the automatic values",
     "{\"name\":\"COM1\",\"properties\":{\"Port.Transport\":\"serial\"}}",
     "{\"name\":\"COM1\",\"properties\":{\"Port.BaudRate\":1200}}"},
    {"a set value leaves the automatic state, and comes back to it",
     "{\"name\":\"COM1\",\"properties\":{\"Port.Transport\":\"serial\","
     "\"T0\":5}}",
     "{\"name\":\"COM1\",\"properties\":{\"T0\":null,\"T2\":7}}"},
    {"a reset and a value of another type",
     "{\"name\":\"COM1\",\"properties\":{\"Port.Transport\":\"serial\","
     "\"Port.Resettable\":\"a\",\"Port.Odd\":3}}",
     "{\"name\":\"COM1\",\"properties\":{\"Port.Resettable\":null,"
     "\"Port.Odd\":-4}}"},
    {"removal",
     "{\"name\":\"COM1\",\"properties\":{\"Port.Transport\":\"serial\"}}",
     "{\"name\":\"com1\",\"_exist\":false}"},
};

class ZebstatePrediction : public DeviceStore {
 protected:
  DeviceState desired_of(const char* text) {
    JsonValue json;
    std::string why;
    EXPECT_TRUE(json_parse(text, &json, &why)) << why;
    DeviceState desired;
    StateError error;
    EXPECT_TRUE(
        device_from_json(json, setup(), schema_, READ_WHOLE, &desired, &error))
        << error.message;
    return desired;
  }

  // Reads the device, plans and predicts the desired state, applies it;
  // returns the prediction and the state after it, as JSON.
  std::pair<std::string, std::string> predict_and_apply(const char* text) {
    DeviceState desired = desired_of(text);
    DeviceState actual;
    std::string failed;
    DeviceIndex index;
    EXPECT_EQ(dev_index(context(), &index), 0u);
    EXPECT_EQ(
        read_device(context(), index, schema_, desired.name, &actual, &failed),
        0u);
    DevicePlan plan;
    EXPECT_EQ(plan_device(setup(), desired, actual, &plan, &failed), 0u)
        << failed;
    DeviceState predicted;
    predict_device(setup(), schema_, actual, plan, &predicted);
    DeviceState after;
    EXPECT_EQ(apply_device(context(), &index, schema_, desired.name, plan,
                           &after, &failed),
              0u)
        << failed;
    predicted.name = after.name;
    return {json_write(device_to_json(predicted)),
            json_write(device_to_json(after))};
  }

  Schema schema_;
};

TEST_F(ZebstatePrediction, WhatIfPredictsWhatSetLeaves) {
  for (const PredictionCase& c : kPredictionCases) {
    next_command_context();
    read_schema(setup(), &schema_);
    RegKey root = open_root();
    reg_delete_key(root, "zeb_dev_0");
    reg_close_key(root);
    if (c.before != nullptr) predict_and_apply(c.before);
    auto outcome = predict_and_apply(c.desired);
    EXPECT_EQ(outcome.first, outcome.second) << c.label;
  }
}

}  // namespace
