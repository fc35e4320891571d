// The property map: pair parsing, the store operations and the ml, ms and msq
// commands over the POSIX store.
#include "property/property_map.h"

#include <gtest/gtest.h>

#include <string>

#include "cli/entry.h"
#include "cli/handlers.h"
#include "cli/status.h"
#include "platform/posix/fault.h"
#include "platform/registry.h"
#include "test_root.h"

namespace {

const char* const kMapPath = "Software\\Zeb\\Map";

const char* const kSetupText =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\n"
    "[cfg_strings]\r\nmap_path=\"Software\\Zeb\\Map\"\r\n";

struct PairCase {
  const char* text;
  StatusCode status;
  const char* name;
  uint32_t value;
};

const PairCase kPairCases[] = {
    {"speed=0x10", 0, "speed", 16},
    {"speed=0X1f", 0, "speed", 31},
    {"speed=010", 0, "speed", 8},
    {"speed=+7", 0, "speed", 7},
    {"speed=-5", 0, "speed", 0xFFFFFFFB},
    {"speed= 12", 0, "speed", 12},
    {"speed=0", 0, "speed", 0},
    {"speed=", 0, "speed", MAP_DELETE_VALUE},
    {"speed=-1", 0, "speed", MAP_DELETE_VALUE},
    {"speed=0xffffffff", 0, "speed", 0x7FFFFFFF},
    {"speed=4294967295", 0, "speed", 0x7FFFFFFF},
    {"speed=-2147483649", 0, "speed", 0x80000000},
    {"=5", 0, "", 5},
    {"speed=12abc", STATUS_SYNTAX, "", 0},
    {"speed=0x", STATUS_SYNTAX, "", 0},
    {"speed=1=2", STATUS_SYNTAX, "", 0},
    {"speed=12 ", STATUS_SYNTAX, "", 0},
    {"speed=08", STATUS_SYNTAX, "", 0},
    {"speed", STATUS_SYNTAX, "", 0},
    {"", STATUS_SYNTAX, "", 0},
};

TEST(ParseMapPair, ReadsNameAndLiteral) {
  for (const PairCase& c : kPairCases) {
    MapEntry entry{};
    EXPECT_EQ(parse_map_pair(c.text, &entry), c.status) << c.text;
    if (c.status != 0) continue;
    EXPECT_STREQ(entry.name, c.name) << c.text;
    EXPECT_EQ(entry.value, c.value) << c.text;
  }
}

TEST(ParseMapPair, NameOf255CharactersFitsAnd256Fail) {
  MapEntry entry{};
  std::string name(255, 'n');
  ASSERT_EQ(parse_map_pair((name + "=1").c_str(), &entry), 0u);
  EXPECT_EQ(std::string(entry.name), name);
  EXPECT_EQ(parse_map_pair((name + "n=1").c_str(), &entry), STATUS_SYNTAX);
  EXPECT_EQ(parse_map_pair((std::string(5000, 'n') + "=1").c_str(), &entry),
            STATUS_SYNTAX);
}

TEST(MapOperations, MissingRecordGivesNoArgument) {
  uint32_t value = 0;
  CommandContext context = {};
  EXPECT_EQ(map_write(&context, nullptr), STATUS_NO_ARGUMENT);
  EXPECT_EQ(map_first(&context, nullptr), STATUS_NO_ARGUMENT);
  EXPECT_EQ(map_next(nullptr), STATUS_NO_ARGUMENT);
  EXPECT_EQ(map_read(&context, nullptr, &value), STATUS_NO_ARGUMENT);
  EXPECT_EQ(map_read(&context, "x", nullptr), STATUS_NO_ARGUMENT);
}

class PropertyMap : public TestRoot {
 protected:
  void SetUp() override {
    TestRoot::SetUp();
    set_program_name("C:\\tools\\zebcfg.exe");
    write_inf(kSetupText);
  }
  void TearDown() override {
    fault_clear();
    context_close(&context_);
    TestRoot::TearDown();
  }

  // A command's context over the setup file as it is now.
  CommandContext* context() {
    context_close(&context_);
    context_open(&context_);
    return &context_;
  }

  void create_map_key() {
    RegKey key = nullptr;
    ASSERT_EQ(reg_create_key(reg_local_machine(), kMapPath, W32_KEY_ALL_ACCESS,
                             &key, nullptr),
              0u);
    reg_close_key(key);
  }

  // Writes a raw value into the map key, whatever its type and size.
  void put_raw(const char* name, uint32_t type, const void* data,
               uint32_t size) {
    put_test_value(kMapPath, name, type, data, size);
  }

  void erase(const char* name) {
    RegKey key = nullptr;
    ASSERT_EQ(reg_create_key(reg_local_machine(), kMapPath, W32_KEY_ALL_ACCESS,
                             &key, nullptr),
              0u);
    reg_delete_value(key, name);
    reg_close_key(key);
  }

  void put(const char* name, uint32_t value) {
    put_raw(name, W32_REG_DWORD, &value, sizeof(value));
  }

  bool has(const char* name, uint32_t* value) {
    return map_read(context(), name, value) == 0;
  }

  // Runs a handler with the arguments (command word first) and captures what
  // it prints.
  int32_t run(CommandHandler handler, OutputMode mode,
              std::vector<std::string> words, std::string* output) {
    std::vector<char*> args;
    for (std::string& word : words) args.push_back(&word[0]);
    testing::internal::CaptureStdout();
    int32_t result =
        handler(mode, static_cast<int32_t>(args.size()), args.data());
    fflush(stdout);
    *output = testing::internal::GetCapturedStdout();
    return result;
  }

  CommandContext context_ = {};
};

TEST_F(PropertyMap, ListsEveryLineFormat) {
  create_map_key();
  put("Alpha", 255);
  put("Beta", 5);
  put("Gamma", 0xFFFFFFFF);
  put("a_name_longer_than_24_chars", 0x12345);
  put("", 77);  // the unnamed value is not an entry
  std::string out;
  EXPECT_EQ(run(map_list_handler, MODE_NORMAL, {"ml"}, &out), 0);
  EXPECT_EQ(out,
            "Property map:\n"
            "    a_name_longer_than_24_chars = 0x12345 (74565)\n"
            "    Alpha                    = 0xff (255)\n"
            "    Beta                     = 0x05 (5)\n"
            "    Gamma                    = 0xffffffff (-1)\n");
}

TEST_F(PropertyMap, EmptyMapAndUnnamedValueOnly) {
  create_map_key();
  std::string out;
  EXPECT_EQ(run(map_list_handler, MODE_NORMAL, {"ml"}, &out), 0);
  EXPECT_EQ(out, "Property map is empty\n");
  put("", 1);
  EXPECT_EQ(run(map_list_handler, MODE_NORMAL, {"ml"}, &out), 0);
  EXPECT_EQ(out, "Property map is empty\n");
}

TEST_F(PropertyMap, ShortDataListsWithTheRestCleared) {
  create_map_key();
  put("a", 0xFFFFFFFF);
  const unsigned char one_byte = 7;
  put_raw("b", W32_REG_BINARY, &one_byte, 1);
  std::string out;
  EXPECT_EQ(run(map_list_handler, MODE_NORMAL, {"ml"}, &out), 0);
  EXPECT_EQ(out,
            "Property map:\n"
            "    a                        = 0xffffffff (-1)\n"
            "    b                        = 0x07 (7)\n");
}

TEST_F(PropertyMap, OverlongNameOrDataEndsTheListingWithOverflow) {
  const char text[] = "longer than four";
  const std::string long_name = "b" + std::string(255, 'x');
  for (int overlong_name = 0; overlong_name < 2; ++overlong_name) {
    create_map_key();
    put("a", 1);
    if (overlong_name) {
      put(long_name.c_str(), 2);
    } else {
      put_raw("b", W32_REG_SZ, text, sizeof(text));
    }
    put("c", 3);
    std::string out;
    EXPECT_EQ(run(map_list_handler, MODE_NORMAL, {"ml"}, &out), 1);
    EXPECT_EQ(out,
              "Property map:\n"
              "    a                        = 0x01 (1)\n"
              "Buffer overflow\n");
    erase(overlong_name ? long_name.c_str() : "b");
  }
}

TEST_F(PropertyMap, MissingKeyOrPathFails) {
  std::string out;
  EXPECT_EQ(run(map_list_handler, MODE_NORMAL, {"ml"}, &out), 1);
  EXPECT_EQ(out, "Unrecognized system error 2(0x2)\n");
  EXPECT_EQ(run(map_set_handler, MODE_NORMAL, {"ms", "a=1"}, &out), 1);
  EXPECT_EQ(out, "Unrecognized system error 2(0x2)\n");

  write_inf("[Version]\r\nSignature=\"$Windows NT$\"\r\n[cfg_strings]\r\n");
  create_map_key();
  EXPECT_EQ(run(map_list_handler, MODE_NORMAL, {"ml"}, &out), 1);
  EXPECT_NE(out.find("Unrecognized system error"), std::string::npos) << out;
  MapEntry entry{"a", 1};
  EXPECT_NE(map_write(context(), &entry), 0u);

  std::system(("rm -f '" + root_ + "/inf/zebsetup.inf'").c_str());
  EXPECT_EQ(run(map_list_handler, MODE_NORMAL, {"ml"}, &out), 1);
  EXPECT_EQ(out, "INF file not found - please re-install driver\n");
}

TEST_F(PropertyMap, SetsAndDeletesEntries) {
  create_map_key();
  std::string out;
  EXPECT_EQ(run(map_set_handler, MODE_NORMAL,
                {"ms", "hex=0x10", "oct=010", "plus=+7", "=5"}, &out),
            0);
  EXPECT_EQ(out, "");
  uint32_t value = 0;
  EXPECT_TRUE(has("hex", &value));
  EXPECT_EQ(value, 16u);
  EXPECT_TRUE(has("OCT", &value));
  EXPECT_EQ(value, 8u);
  EXPECT_TRUE(has("plus", &value));
  EXPECT_EQ(value, 7u);
  EXPECT_TRUE(has("", &value));
  EXPECT_EQ(value, 5u);

  EXPECT_EQ(run(map_set_handler, MODE_NORMAL, {"ms", "hex=", "oct=-1"}, &out),
            0);
  EXPECT_FALSE(has("hex", &value));
  EXPECT_FALSE(has("oct", &value));

  EXPECT_EQ(run(map_set_handler, MODE_NORMAL, {"ms", "hex="}, &out), 1);
  EXPECT_EQ(out, "Unrecognized system error 2(0x2)\n");
}

TEST_F(PropertyMap, NameOf255CharactersIsStoredAndListed) {
  create_map_key();
  std::string name(255, 'k');
  std::string out;
  EXPECT_EQ(run(map_set_handler, MODE_NORMAL, {"ms", name + "=1"}, &out), 0);
  EXPECT_EQ(run(map_list_handler, MODE_NORMAL, {"ml"}, &out), 0);
  EXPECT_EQ(out, "Property map:\n    " + name + " = 0x01 (1)\n");
  EXPECT_EQ(run(map_set_handler, MODE_NORMAL, {"ms", name + "k=1"}, &out), 1);
  EXPECT_EQ(out, "Command line syntax error\n");
}

TEST_F(PropertyMap, FailingPairStopsTheRest) {
  create_map_key();
  struct {
    std::vector<std::string> words;
    OutputMode mode;
    const char* output;
  } cases[] = {
      {{"ms", "a=1", "b", "c=3"}, MODE_NORMAL, "Command line syntax error\n"},
      {{"ms", "a=1", "b=12abc", "c=3"},
       MODE_NORMAL,
       "Command line syntax error\n"},
      {{"msq", "a=1", "b=1=2", "c=3"}, MODE_QUIET, ""},
  };
  for (auto& c : cases) {
    put("c", 9);
    erase("a");
    std::string out;
    EXPECT_EQ(run(map_set_handler, c.mode, c.words, &out), 1);
    EXPECT_EQ(out, c.output);
    uint32_t value = 0;
    EXPECT_TRUE(has("a", &value));
    EXPECT_EQ(value, 1u);
    EXPECT_FALSE(has("b", &value));
    EXPECT_TRUE(has("c", &value));
    EXPECT_EQ(value, 9u);
  }
}

TEST_F(PropertyMap, RegistryFailureInTheMiddleKeepsEarlierPairs) {
  create_map_key();
  fault_arm_subject(FaultPoint::kRegSet, "b", W32_ERROR_ACCESS_DENIED);
  std::string out;
  EXPECT_EQ(
      run(map_set_handler, MODE_NORMAL, {"ms", "a=1", "b=2", "c=3"}, &out), 1);
  EXPECT_EQ(out, "Access denied (admin privilege required)\n");
  uint32_t value = 0;
  EXPECT_TRUE(has("a", &value));
  EXPECT_FALSE(has("b", &value));
  EXPECT_FALSE(has("c", &value));
}

TEST_F(PropertyMap, SyntaxLineOnlyWhenNotQuiet) {
  std::string out;
  EXPECT_EQ(run(map_set_handler, MODE_NORMAL, {"ms"}, &out), 1);
  EXPECT_EQ(out, "Syntax: zebcfg ms name=val\n");
  EXPECT_EQ(run(map_set_handler, MODE_QUIET, {"msq"}, &out), 1);
  EXPECT_EQ(out, "");
}

TEST_F(PropertyMap, CursorWalksEntriesAndEndsWith259) {
  create_map_key();
  put("one", 1);
  put("two", 2);
  MapCursor cursor{};
  ASSERT_EQ(map_first(context(), &cursor), 0u);
  EXPECT_STREQ(cursor.name, "one");
  EXPECT_EQ(cursor.value, 1u);
  ASSERT_EQ(map_next(&cursor), 0u);
  EXPECT_STREQ(cursor.name, "two");
  EXPECT_EQ(cursor.index, 1u);
  EXPECT_EQ(map_next(&cursor), W32_ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(cursor.index, 2u);
  EXPECT_EQ(map_next(&cursor), W32_ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(cursor.index, 3u);
  map_close(&cursor);
}

}  // namespace
