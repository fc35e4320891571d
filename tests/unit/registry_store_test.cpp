// The POSIX registry store: Win32 answers, ordering, persistence across
// processes and the read-only store.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/fault.h"
#include "platform/registry.h"
#include "test_root.h"

namespace {

class RegistryStoreTest : public TestRoot {
 protected:
  void TearDown() override {
    fault_clear();
    TestRoot::TearDown();
  }

  // Creates HKLM\path with all access.
  RegKey create(const char* path, uint32_t* disposition = nullptr) {
    RegKey key = nullptr;
    EXPECT_EQ(reg_create_key(reg_local_machine(), path, W32_KEY_ALL_ACCESS,
                             &key, disposition),
              0u)
        << path;
    return key;
  }

  void set_text(RegKey key, const char* name, const char* text) {
    ASSERT_EQ(reg_set_value(key, name, W32_REG_SZ, text,
                            static_cast<uint32_t>(std::strlen(text) + 1)),
              0u);
  }

  std::vector<std::string> subkeys(RegKey key) {
    std::vector<std::string> names;
    char name[300];
    for (uint32_t i = 0;; i++) {
      uint32_t len = sizeof(name);
      StatusCode status = reg_enum_key(key, i, name, &len);
      if (status != 0) {
        EXPECT_EQ(status, W32_ERROR_NO_MORE_ITEMS);
        return names;
      }
      names.emplace_back(name, len);
    }
  }
};

TEST_F(RegistryStoreTest, MissingStoreReadsAsEmptyAndIsNotCreated) {
  for (bool snapshot : {false, true}) {
    ASSERT_EQ(snapshot ? reg_begin_snapshot() : 0u, 0u);
    RegKey key = nullptr;
    EXPECT_EQ(reg_open_key(reg_local_machine(), "Software", W32_KEY_READ, &key),
              W32_ERROR_FILE_NOT_FOUND);
    char name[20];
    uint32_t len = sizeof(name);
    EXPECT_EQ(reg_enum_key(reg_local_machine(), 0, name, &len),
              W32_ERROR_NO_MORE_ITEMS);
    uint32_t size = 0;
    EXPECT_EQ(
        reg_query_value(reg_local_machine(), "x", nullptr, nullptr, &size),
        W32_ERROR_FILE_NOT_FOUND);
    if (snapshot) reg_end_snapshot();
    EXPECT_FALSE(registry_store_transaction_open());
  }
  struct stat info;
  EXPECT_NE(stat((root_ + "/registry.db").c_str(), &info), 0);
}

TEST_F(RegistryStoreTest, SubkeysAndValuesEnumerateInLowerFoldedOrder) {
  RegKey parent = create("Software\\Order");
  // '_' (0x5F) and '[' sort before letters once A-Z are folded to a-z.
  const char* names[] = {"b", "A",         "_x",      "a_", "aB",
                         "Z", "zeb_dev_1", "zebadev", "[",  "~"};
  for (const char* name : names) {
    reg_close_key(create((std::string("Software\\Order\\") + name).c_str()));
    set_text(parent, name, "v");
  }
  std::vector<std::string> expected = {"[", "_x", "A",         "a_",      "aB",
                                       "b", "Z",  "zeb_dev_1", "zebadev", "~"};
  EXPECT_EQ(subkeys(parent), expected);
  std::vector<std::string> values;
  char name[64];
  for (uint32_t i = 0;; i++) {
    uint32_t len = sizeof(name);
    if (reg_enum_value(parent, i, name, &len, nullptr, nullptr, nullptr) != 0) {
      break;
    }
    values.emplace_back(name, len);
  }
  EXPECT_EQ(values, expected);
  reg_close_key(parent);
}

TEST_F(RegistryStoreTest, NamesMatchWithoutCaseAndKeepFirstSpelling) {
  uint32_t disposition = 0;
  RegKey key = create("Software\\MixedCase", &disposition);
  EXPECT_EQ(disposition, W32_REG_CREATED_NEW_KEY);
  RegKey again = create("SOFTWARE\\mixedcase", &disposition);
  EXPECT_EQ(disposition, W32_REG_OPENED_EXISTING_KEY);
  set_text(key, "Foo", "1");
  uint32_t four = 4;
  ASSERT_EQ(reg_set_value(again, "FOO", W32_REG_DWORD, &four, 4), 0u);
  char name[16];
  uint32_t len = sizeof(name);
  uint32_t type = 0;
  ASSERT_EQ(reg_enum_value(key, 0, name, &len, &type, nullptr, nullptr), 0u);
  EXPECT_STREQ(name, "Foo");
  EXPECT_EQ(type, W32_REG_DWORD);
  RegKey software = create("software");
  EXPECT_EQ(subkeys(software), std::vector<std::string>{"MixedCase"});
  reg_close_key(software);
  reg_close_key(again);
  reg_close_key(key);
}

TEST_F(RegistryStoreTest, CreateMakesIntermediateKeys) {
  uint32_t disposition = 0;
  reg_close_key(create("A\\B\\C", &disposition));
  EXPECT_EQ(disposition, W32_REG_CREATED_NEW_KEY);
  RegKey key = nullptr;
  EXPECT_EQ(reg_open_key(reg_local_machine(), "a\\b", W32_KEY_READ, &key), 0u);
  reg_close_key(key);
  reg_close_key(create("A\\B\\C\\", &disposition));
  EXPECT_EQ(disposition, W32_REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(reg_open_key(reg_local_machine(), "\\A", W32_KEY_READ, &key), 161u);
}

TEST_F(RegistryStoreTest, EnumKeyNameMustFitWithItsTerminator) {
  RegKey parent = create("Root");
  reg_close_key(create("Root\\abcdefghijklmnop"));   // 16 characters
  reg_close_key(create("Root\\abcdefghijklmnopq"));  // 17 characters
  struct Case {
    uint32_t index;
    uint32_t capacity;
    StatusCode status;
    uint32_t len_after;
  } cases[] = {
      {0, 17, 0, 16},
      {0, 16, W32_ERROR_MORE_DATA, 16},
      {1, 17, W32_ERROR_MORE_DATA, 17},
      {1, 18, 0, 17},
      {2, 17, W32_ERROR_NO_MORE_ITEMS, 17},
  };
  for (const Case& c : cases) {
    char name[32];
    uint32_t len = c.capacity;
    EXPECT_EQ(reg_enum_key(parent, c.index, name, &len), c.status)
        << c.index << "/" << c.capacity;
    EXPECT_EQ(len, c.len_after) << c.index << "/" << c.capacity;
  }
  reg_close_key(parent);
}

TEST_F(RegistryStoreTest, QueryReportsSizesAsWineDoes) {
  RegKey key = create("Vals");
  set_text(key, "Str", "hello");
  ASSERT_EQ(reg_set_value(key, "NoTerm", W32_REG_SZ, "ab", 2), 0u);
  ASSERT_EQ(reg_set_value(key, "Empty", W32_REG_SZ, "", 0), 0u);
  struct Case {
    const char* name;
    bool with_buffer;
    uint32_t capacity;
    StatusCode status;
    uint32_t size_after;
  } cases[] = {
      {"Str", false, 0, 0, 6},
      {"str", true, 5, W32_ERROR_MORE_DATA, 6},
      {"STR", true, 6, 0, 6},
      {"NoTerm", true, 2, W32_ERROR_MORE_DATA, 3},  // a terminator is added
      {"NoTerm", true, 3, 0, 3},
      {"Empty", true, 0, 0, 0},
      {"Missing", true, 8, W32_ERROR_FILE_NOT_FOUND, 8},
  };
  for (const Case& c : cases) {
    char data[16];
    std::memset(data, 'X', sizeof(data));
    uint32_t size = c.capacity;
    uint32_t type = 99;
    EXPECT_EQ(reg_query_value(key, c.name, &type,
                              c.with_buffer ? data : nullptr, &size),
              c.status)
        << c.name << "/" << c.capacity;
    EXPECT_EQ(size, c.size_after) << c.name << "/" << c.capacity;
    if (c.status == W32_ERROR_MORE_DATA) {
      EXPECT_EQ(data[0], 'X');
    }
  }
  char data[8];
  uint32_t size = sizeof(data);
  ASSERT_EQ(reg_query_value(key, "NoTerm", nullptr, data, &size), 0u);
  EXPECT_STREQ(data, "ab");
  EXPECT_EQ(reg_query_value(key, "Str", nullptr, data, nullptr),
            W32_ERROR_INVALID_PARAMETER);
  reg_close_key(key);
}

TEST_F(RegistryStoreTest, EnumValueReportsMoreDataForNameOrData) {
  RegKey key = create("Vals");
  set_text(key, "Str", "hello");
  struct Case {
    uint32_t name_capacity;
    uint32_t data_capacity;
    StatusCode status;
    uint32_t name_len_after;
    uint32_t data_size_after;
  } cases[] = {
      {3, 6, W32_ERROR_MORE_DATA, 3, 6},
      {4, 5, W32_ERROR_MORE_DATA, 4, 6},
      {4, 6, 0, 3, 6},
  };
  for (const Case& c : cases) {
    char name[8];
    char data[8];
    uint32_t len = c.name_capacity;
    uint32_t size = c.data_capacity;
    EXPECT_EQ(reg_enum_value(key, 0, name, &len, nullptr, data, &size),
              c.status);
    EXPECT_EQ(len, c.name_len_after);
    EXPECT_EQ(size, c.data_size_after);
  }
  reg_close_key(key);
}

TEST_F(RegistryStoreTest, ValueTooLargeForTheStoreFailsAndStoresNothing) {
  RegKey key = create("Big");
  const char data[] = "abc";
  // The store refuses a size this large before it reads a byte of the data.
  EXPECT_NE(reg_set_value(key, "v", W32_REG_BINARY, data, 0x80000000u), 0u);
  uint32_t size = 0;
  EXPECT_EQ(reg_query_value(key, "v", nullptr, nullptr, &size),
            W32_ERROR_FILE_NOT_FOUND);
  reg_close_key(key);
}

TEST_F(RegistryStoreTest, AccessMaskOfTheHandleIsChecked) {
  reg_close_key(create("Keys\\Child"));
  RegKey read = nullptr;
  ASSERT_EQ(reg_open_key(reg_local_machine(), "Keys", W32_KEY_READ, &read), 0u);
  EXPECT_EQ(reg_set_value(read, "x", W32_REG_SZ, "a", 2),
            W32_ERROR_ACCESS_DENIED);
  EXPECT_EQ(reg_delete_value(read, "x"), W32_ERROR_ACCESS_DENIED);
  RegKey write = nullptr;
  ASSERT_EQ(reg_open_key(reg_local_machine(), "Keys", W32_KEY_WRITE, &write),
            0u);
  uint32_t size = 0;
  EXPECT_EQ(reg_query_value(write, "x", nullptr, nullptr, &size),
            W32_ERROR_ACCESS_DENIED);
  char name[16];
  uint32_t len = sizeof(name);
  EXPECT_EQ(reg_enum_key(write, 0, name, &len), W32_ERROR_ACCESS_DENIED);
  EXPECT_EQ(reg_open_key(nullptr, "Keys", W32_KEY_READ, &read),
            W32_ERROR_INVALID_HANDLE);
  reg_close_key(write);
  reg_close_key(read);
}

TEST_F(RegistryStoreTest, SubkeyDefaultReadsAsTextEmptyWhenUnset) {
  RegKey root = create("Devs");
  RegKey dev = create("Devs\\zeb_dev_0");
  ASSERT_EQ(reg_set_value(dev, nullptr, W32_REG_SZ, "d", 2), 0u);
  reg_close_key(create("Devs\\bare"));
  char data[8];
  int32_t size = sizeof(data);
  ASSERT_EQ(reg_query_subkey_default(root, "ZEB_DEV_0", data, &size), 0u);
  EXPECT_STREQ(data, "d");
  EXPECT_EQ(size, 2);
  size = sizeof(data);
  std::memset(data, 'X', sizeof(data));
  ASSERT_EQ(reg_query_subkey_default(root, "bare", data, &size), 0u);
  EXPECT_EQ(data[0], '\0');
  EXPECT_EQ(size, 1);
  size = sizeof(data);
  EXPECT_EQ(reg_query_subkey_default(root, "none", data, &size),
            W32_ERROR_FILE_NOT_FOUND);
  size = 1;
  EXPECT_EQ(reg_query_subkey_default(root, "zeb_dev_0", data, &size),
            W32_ERROR_MORE_DATA);
  EXPECT_EQ(size, 2);
  reg_close_key(dev);
  reg_close_key(root);
}

TEST_F(RegistryStoreTest, HandleOfDeletedKeyAnswers1018) {
  RegKey parent = create("P");
  RegKey doomed = create("P\\Doomed");
  set_text(doomed, "v", "a");
  ASSERT_EQ(reg_delete_key(parent, "doomed"), 0u);
  char name[16];
  uint32_t len = sizeof(name);
  uint32_t size = sizeof(name);
  RegKey child = nullptr;
  EXPECT_EQ(reg_query_value(doomed, "v", nullptr, name, &size),
            W32_ERROR_KEY_DELETED);
  EXPECT_EQ(reg_set_value(doomed, "v", W32_REG_SZ, "a", 2),
            W32_ERROR_KEY_DELETED);
  EXPECT_EQ(reg_enum_key(doomed, 0, name, &len), W32_ERROR_KEY_DELETED);
  EXPECT_EQ(reg_create_key(doomed, "c", W32_KEY_ALL_ACCESS, &child, nullptr),
            W32_ERROR_KEY_DELETED);
  EXPECT_EQ(reg_delete_value(doomed, "v"), W32_ERROR_KEY_DELETED);
  // A key made again under the same name is a different key.
  reg_close_key(create("P\\Doomed"));
  EXPECT_EQ(reg_open_key(doomed, "", W32_KEY_READ, &child),
            W32_ERROR_KEY_DELETED);
  reg_close_key(doomed);
  reg_close_key(parent);
}

TEST_F(RegistryStoreTest, DeleteKeyRefusesSubkeysAndMissingNames) {
  RegKey parent = create("Tree");
  reg_close_key(create("Tree\\A\\B"));
  EXPECT_EQ(reg_delete_key(parent, "A"), W32_ERROR_ACCESS_DENIED);
  EXPECT_EQ(reg_delete_key(parent, "A\\B"), 0u);
  EXPECT_EQ(reg_delete_key(parent, "A"), 0u);
  EXPECT_EQ(reg_delete_key(parent, "A"), W32_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(reg_delete_value(parent, "none"), W32_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(subkeys(parent), std::vector<std::string>{});
  reg_close_key(parent);
}

TEST_F(RegistryStoreTest, EnumerationSeesWritesOfAnotherProcess) {
  RegKey parent = create("Shared");
  reg_close_key(create("Shared\\one"));
  EXPECT_EQ(subkeys(parent), std::vector<std::string>{"one"});
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    registry_store_reset();
    RegKey key = nullptr;
    StatusCode status = reg_create_key(reg_local_machine(), "Shared\\two",
                                       W32_KEY_ALL_ACCESS, &key, nullptr);
    _exit(status == 0 ? 0 : 1);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  ASSERT_EQ(WEXITSTATUS(wstatus), 0);
  EXPECT_EQ(subkeys(parent), (std::vector<std::string>{"one", "two"}));
  reg_close_key(parent);
}

// A process that wrote leaves the store's log empty at its end, unless
// another process is reading then, so that the next one to open the store
// need not read the log back.
TEST_F(RegistryStoreTest, AWriterEmptiesTheLogAtItsEnd) {
  reg_close_key(create("Log"));
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    registry_store_reset();
    RegKey key = nullptr;
    StatusCode status = reg_create_key(reg_local_machine(), "Log\\child",
                                       W32_KEY_ALL_ACCESS, &key, nullptr);
    reg_close_key(key);
    std::exit(status == 0 ? 0 : 1);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  ASSERT_EQ(WEXITSTATUS(wstatus), 0);
  struct stat log;
  ASSERT_EQ(stat((root_ + "/registry.db-wal").c_str(), &log), 0);
  EXPECT_EQ(log.st_size, 0);
}

// Runs change in a child process with its own connection to the store.
void in_other_process(void (*change)()) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    registry_store_reset();
    change();
    _exit(0);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  ASSERT_EQ(WEXITSTATUS(wstatus), 0);
}

void create_deep_key() {
  RegKey key = nullptr;
  if (reg_create_key(reg_local_machine(), "Paths\\A\\Deep", W32_KEY_ALL_ACCESS,
                     &key, nullptr) != 0) {
    _exit(1);
  }
  reg_close_key(key);
}

void delete_deep_key() {
  if (reg_delete_key(reg_local_machine(), "Paths\\A\\Deep") != 0) _exit(1);
}

void delete_a_and_make_it_again() {
  if (reg_delete_key(reg_local_machine(), "Paths\\A\\Deep") != 0 ||
      reg_delete_key(reg_local_machine(), "Paths\\A") != 0) {
    _exit(1);
  }
  create_deep_key();
}

// Paths once looked up, found or not, are looked up again when another
// process changes the store.
TEST_F(RegistryStoreTest, OpeningAPathSeesKeysOfAnotherProcess) {
  reg_close_key(create("Paths\\A"));
  struct Step {
    const char* name;
    void (*change)();
    StatusCode deep;  // opening Paths\A\Deep afterwards
  };
  const Step steps[] = {
      {"not there yet", nullptr, W32_ERROR_FILE_NOT_FOUND},
      {"created", create_deep_key, 0},
      {"deleted", delete_deep_key, W32_ERROR_FILE_NOT_FOUND},
      {"created again", create_deep_key, 0},
      {"parent made again", delete_a_and_make_it_again, 0},
  };
  RegKey previous = nullptr;
  for (const Step& step : steps) {
    if (step.change != nullptr) in_other_process(step.change);
    for (const char* path : {"Paths\\A\\Deep", "paths\\a\\DEEP"}) {
      RegKey key = nullptr;
      EXPECT_EQ(reg_open_key(reg_local_machine(), path, W32_KEY_READ, &key),
                step.deep)
          << step.name << " " << path;
      if (key != nullptr) reg_close_key(key);
    }
    RegKey a = nullptr;
    ASSERT_EQ(reg_open_key(reg_local_machine(), "Paths", W32_KEY_READ, &a), 0u);
    RegKey key = nullptr;
    EXPECT_EQ(reg_open_key(a, "A\\Deep", W32_KEY_READ, &key), step.deep)
        << step.name;
    if (key != nullptr) reg_close_key(key);
    reg_close_key(a);
    // A handle of a key deleted meanwhile answers 1018.
    if (previous != nullptr) {
      bool gone = step.change == delete_deep_key ||
                  step.change == delete_a_and_make_it_again;
      EXPECT_EQ(reg_open_key(previous, "", W32_KEY_READ, &key),
                gone ? W32_ERROR_KEY_DELETED : 0u)
          << step.name;
      if (!gone) reg_close_key(key);
      reg_close_key(previous);
      previous = nullptr;
    }
    reg_open_key(reg_local_machine(), "Paths\\A\\Deep", W32_KEY_READ,
                 &previous);
  }
  if (previous != nullptr) reg_close_key(previous);
}

void add_snap_d() {
  RegKey key = nullptr;
  if (reg_create_key(reg_local_machine(), "Snap\\d", W32_KEY_ALL_ACCESS, &key,
                     nullptr) != 0) {
    _exit(1);
  }
}

void delete_snap_b_and_add_e() {
  RegKey key = nullptr;
  if (reg_delete_key(reg_local_machine(), "Snap\\b") != 0 ||
      reg_create_key(reg_local_machine(), "Snap\\e", W32_KEY_ALL_ACCESS, &key,
                     nullptr) != 0) {
    _exit(1);
  }
}

// A snapshot sees the store as it was when it began: what another process
// wrote before (a listing cached earlier notwithstanding), and nothing it
// adds or deletes meanwhile; a subkey deleted meanwhile still opens and
// reads.
TEST_F(RegistryStoreTest, SnapshotSeesTheStoreAsItWasWhenItBegan) {
  for (const char* path : {"Snap\\a", "Snap\\b", "Snap\\c"}) {
    RegKey key = create(path);
    set_text(key, "v", path);
    reg_close_key(key);
  }
  RegKey parent = create("Snap");
  EXPECT_EQ(subkeys(parent), (std::vector<std::string>{"a", "b", "c"}));
  in_other_process(add_snap_d);
  ASSERT_EQ(reg_begin_snapshot(), 0u);
  char name[16];
  uint32_t len = sizeof(name);
  ASSERT_EQ(reg_enum_key(parent, 0, name, &len), 0u);
  in_other_process(delete_snap_b_and_add_e);
  EXPECT_EQ(subkeys(parent), (std::vector<std::string>{"a", "b", "c", "d"}));
  RegKey b = nullptr;
  ASSERT_EQ(reg_open_key(parent, "b", W32_KEY_READ, &b), 0u);
  char data[16];
  uint32_t size = sizeof(data);
  EXPECT_EQ(reg_query_value(b, "v", nullptr, data, &size), 0u);
  EXPECT_STREQ(data, "Snap\\b");
  reg_close_key(b);
  reg_end_snapshot();
  EXPECT_FALSE(registry_store_transaction_open());
  EXPECT_EQ(subkeys(parent), (std::vector<std::string>{"a", "c", "d", "e"}));
  reg_close_key(parent);
}

// Inside a group a snapshot adds nothing: the group's writes are seen and
// land with it. Inside any snapshot every write fails with 1016 and changes
// nothing, until the outermost snapshot ends.
TEST_F(RegistryStoreTest, SnapshotNestsAndRefusesWrites) {
  RegKey key = create("Nest");
  uint32_t size = 0;
  ASSERT_EQ(reg_begin_group(), 0u);
  set_text(key, "grouped", "1");
  ASSERT_EQ(reg_begin_snapshot(), 0u);
  ASSERT_EQ(reg_begin_snapshot(), 0u);
  EXPECT_EQ(reg_query_value(key, "grouped", nullptr, nullptr, &size), 0u);
  EXPECT_EQ(reg_set_value(key, "refused", W32_REG_SZ, "1", 2), 1016u);
  reg_end_snapshot();
  EXPECT_EQ(reg_set_value(key, "refused", W32_REG_SZ, "1", 2), 1016u);
  reg_end_snapshot();
  set_text(key, "after", "1");
  ASSERT_EQ(reg_end_group(), 0u);
  ASSERT_EQ(reg_begin_snapshot(), 0u);
  EXPECT_EQ(reg_delete_value(key, "after"), 1016u);
  EXPECT_EQ(reg_begin_group(), 1016u);
  reg_end_snapshot();
  EXPECT_FALSE(registry_store_transaction_open());
  registry_store_reset();  // what follows reads from disk
  for (const char* name : {"grouped", "after"}) {
    EXPECT_EQ(reg_query_value(key, name, nullptr, nullptr, &size), 0u) << name;
  }
  EXPECT_EQ(reg_query_value(key, "refused", nullptr, nullptr, &size),
            W32_ERROR_FILE_NOT_FOUND);
  reg_close_key(key);
}

TEST_F(RegistryStoreTest, ConcurrentCreationsGiveOneNewKey) {
  reg_close_key(create("Race"));
  registry_store_reset();
  constexpr int kChildren = 6;
  pid_t pids[kChildren];
  for (pid_t& pid : pids) {
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      RegKey key = nullptr;
      uint32_t disposition = 0;
      StatusCode status =
          reg_create_key(reg_local_machine(), "Race\\zeb_dev_0",
                         W32_KEY_ALL_ACCESS, &key, &disposition);
      if (status != 0) _exit(3);
      _exit(disposition == W32_REG_CREATED_NEW_KEY ? 1 : 2);
    }
  }
  int created = 0;
  int opened = 0;
  for (pid_t pid : pids) {
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    created += WEXITSTATUS(wstatus) == 1;
    opened += WEXITSTATUS(wstatus) == 2;
  }
  EXPECT_EQ(created, 1);
  EXPECT_EQ(opened, kChildren - 1);
}

TEST_F(RegistryStoreTest, ReadOnlyStoreIsReadableButRefusesWrites) {
  RegKey key = create("Ro\\Key");
  set_text(key, "v", "text");
  reg_close_key(key);
  registry_store_reset();
  chmod(root_.c_str(), 0755);
  chmod((root_ + "/registry.db").c_str(), 0644);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // An ordinary user (nobody) reads the store of another owner.
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(9);
    if (getuid() == 0) _exit(9);
    RegKey ro = nullptr;
    if (reg_open_key(reg_local_machine(), "Ro\\Key",
                     W32_KEY_READ | W32_KEY_WRITE, &ro) != 0) {
      _exit(2);
    }
    char data[16];
    uint32_t size = sizeof(data);
    if (reg_query_value(ro, "v", nullptr, data, &size) != 0 ||
        std::strcmp(data, "text") != 0) {
      _exit(3);
    }
    if (reg_set_value(ro, "v", W32_REG_SZ, "x", 2) != 5) _exit(4);
    RegKey other = nullptr;
    if (reg_create_key(reg_local_machine(), "Ro\\New", W32_KEY_ALL_ACCESS,
                       &other, nullptr) != 5) {
      _exit(5);
    }
    uint32_t disposition = 0;
    if (reg_create_key(reg_local_machine(), "Ro\\Key", W32_KEY_READ, &other,
                       &disposition) != 0 ||
        disposition != W32_REG_OPENED_EXISTING_KEY) {
      _exit(6);
    }
    if (reg_delete_key(reg_local_machine(), "Ro\\Key") != 5) _exit(7);
    _exit(0);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (WEXITSTATUS(wstatus) == 9) GTEST_SKIP() << "cannot drop privileges";
  EXPECT_EQ(WEXITSTATUS(wstatus), 0);
}

TEST_F(RegistryStoreTest, ArmedFaultFailsTheNthCallOnly) {
  RegKey key = create("F");
  fault_arm(FaultPoint::kRegSet, 2, W32_ERROR_KEY_DELETED);
  EXPECT_EQ(reg_set_value(key, "a", W32_REG_SZ, "1", 2), 0u);
  EXPECT_EQ(reg_set_value(key, "b", W32_REG_SZ, "1", 2), W32_ERROR_KEY_DELETED);
  EXPECT_EQ(reg_set_value(key, "b", W32_REG_SZ, "1", 2), 0u);
  fault_arm(FaultPoint::kRegQuery, 1, W32_ERROR_ACCESS_DENIED, true);
  uint32_t size = 0;
  EXPECT_EQ(reg_query_value(key, "a", nullptr, nullptr, &size), 5u);
  EXPECT_EQ(reg_query_value(key, "a", nullptr, nullptr, &size), 5u);
  fault_clear();
  EXPECT_EQ(reg_query_value(key, "a", nullptr, nullptr, &size), 0u);
  reg_close_key(key);
}

}  // namespace
