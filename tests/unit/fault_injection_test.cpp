// Fault injection of the POSIX backend: arming by subject, the countdown over
// every platform call, failures in the shape of each operation's contract,
// injected store failures taking the store's own error paths, and the counts
// of live handles.
#include <cstring>
#include <string>

#include "platform/dialog.h"
#include "platform/inf.h"
#include "platform/lock.h"
#include "platform/posix/fault.h"
#include "platform/posix/live_handles.h"
#include "platform/posix/registry_store.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/version.h"
#include "test_root.h"

namespace {

const char* const kInf =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\n"
    "[cfg_strings]\r\nname=value\r\n"
    "[cfg_start_stop]\r\nsvc_a\r\nsvc_b\r\n";

class FaultInjection : public TestRoot {
 protected:
  void SetUp() override {
    TestRoot::SetUp();
    fault_clear();
    write_inf(kInf);
  }
  void TearDown() override {
    fault_clear();
    TestRoot::TearDown();
  }

  RegKey create(const char* path) {
    RegKey key = nullptr;
    EXPECT_EQ(reg_create_key(reg_local_machine(), path, W32_KEY_ALL_ACCESS,
                             &key, nullptr),
              0u)
        << path;
    return key;
  }

  static StatusCode set_text(RegKey key, const char* name, const char* text) {
    return reg_set_value(key, name, W32_REG_SZ, text,
                         static_cast<uint32_t>(std::strlen(text) + 1));
  }

  // Value name of HKLM\\path as text; "" when it cannot be read.
  static std::string read_text(const char* path, const char* name) {
    RegKey key = nullptr;
    if (reg_open_key(reg_local_machine(), path, W32_KEY_READ, &key) != 0) {
      return "";
    }
    char text[64] = {0};
    uint32_t size = sizeof(text) - 1;
    StatusCode status = reg_query_value(key, name, nullptr, text, &size);
    reg_close_key(key);
    return status == 0 ? text : "";
  }

  static void set_text_at(const char* path, const char* name,
                          const char* text) {
    put_test_value(path, name, W32_REG_SZ, text,
                   static_cast<uint32_t>(std::strlen(text) + 1));
  }

  static bool has_value(RegKey key, const char* name) {
    uint32_t size = 0;
    return reg_query_value(key, name, nullptr, nullptr, &size) == 0;
  }

  static int64_t live(LiveHandle kind) { return live_handle_count(kind); }

  // The number of values reg_enum_value lists.
  static uint32_t value_count(RegKey key) {
    char name[64];
    uint32_t count = 0;
    for (uint32_t length = sizeof(name);
         reg_enum_value(key, count, name, &length, nullptr, nullptr, nullptr) ==
         0;
         length = sizeof(name)) {
      ++count;
    }
    return count;
  }
};

TEST_F(FaultInjection, SubjectChoosesTheFailingCall) {
  RegKey key = create("Soft");
  // Names match with A-Z folded; a trailing '*' matches a prefix; nth
  // counts only the matching calls.
  fault_arm_subject(FaultPoint::kRegSet, "Beta", 1016, 2);
  EXPECT_EQ(set_text(key, "alpha", "1"), 0u);
  EXPECT_EQ(set_text(key, "BETA", "1"), 0u);
  EXPECT_EQ(set_text(key, "alpha", "2"), 0u);
  EXPECT_EQ(set_text(key, "beta", "2"), 1016u);
  EXPECT_EQ(set_text(key, "beta", "3"), 0u);
  fault_arm_subject(FaultPoint::kRegSet, "Port.*", 5, 1, true);
  EXPECT_EQ(set_text(key, "Port", "1"), 0u);
  EXPECT_EQ(set_text(key, "Port.A", "1"), 5u);
  EXPECT_EQ(set_text(key, "port.b", "1"), 5u);
  EXPECT_EQ(set_text(key, "Net.A", "1"), 0u);
  FaultRecord record;
  ASSERT_TRUE(fault_fired(&record));
  EXPECT_EQ(record.point, FaultPoint::kRegSet);
  EXPECT_EQ(record.subject, "port.b");
  fault_clear();
  EXPECT_FALSE(fault_fired(nullptr));
  EXPECT_EQ(set_text(key, "Port.A", "1"), 0u);
  reg_close_key(key);
}

TEST_F(FaultInjection, CountdownFailsTheNthCallOfAnyKindAndTellsWhich) {
  RegKey key = create("Soft");
  reg_close_key(key);
  // Count the calls an open and a set make, then fail each in turn.
  fault_countdown(1000000, 1);
  ASSERT_EQ(reg_open_key(reg_local_machine(), "Soft", W32_KEY_ALL_ACCESS, &key),
            0u);
  EXPECT_EQ(set_text(key, "v", "1"), 0u);
  reg_close_key(key);
  EXPECT_FALSE(fault_fired(nullptr));
  bool saw_step = false;
  for (uint32_t n = 1;; ++n) {
    fault_clear();
    fault_countdown(n, 1016);
    key = nullptr;
    StatusCode status =
        reg_open_key(reg_local_machine(), "Soft", W32_KEY_ALL_ACCESS, &key);
    if (status == 0) {
      status = set_text(key, "v", "2");
      reg_close_key(key);
    }
    FaultRecord record;
    if (!fault_fired(&record)) break;
    EXPECT_EQ(record.call, n);
    // The failure is passed on, or it was one the operation could do without
    // (such as ending a read that had its answer) and the value landed.
    if (status != 0) {
      EXPECT_EQ(status, 1016u) << n << " " << fault_point_name(record.point);
    } else {
      EXPECT_EQ(read_text("Soft", "v"), "2") << n;
    }
    set_text_at("Soft", "v", "1");
    EXPECT_FALSE(registry_store_transaction_open()) << n;
    if (record.point == FaultPoint::kStoreStep) {
      saw_step = true;
      EXPECT_TRUE(record.within == FaultPoint::kRegOpen ||
                  record.within == FaultPoint::kRegSet);
      EXPECT_TRUE(record.within_subject == "Soft" ||
                  record.within_subject == "v");
    }
    EXPECT_EQ(live(LiveHandle::kRegKey), 0) << n;
    ASSERT_LT(n, 100u);
  }
  EXPECT_TRUE(saw_step);
}

// Each operation that answers with a bool or an int fails as its contract
// says a failure looks.
TEST_F(FaultInjection, OperationsWithoutAStatusFailAsTheirContractsSay) {
  InfHandle inf = nullptr;
  ASSERT_EQ(inf_open("zebsetup.inf", &inf), 0u);
  fault_arm_subject(FaultPoint::kInfLineCount, "cfg_start_stop", 1);
  EXPECT_EQ(inf_get_line_count(inf, "cfg_start_stop"), -1);
  EXPECT_EQ(inf_get_line_count(inf, "cfg_start_stop"), 2);
  inf_close(inf);

  fault_arm(FaultPoint::kDialogMessageBox, 1, 1);
  EXPECT_EQ(dialog_message_box("text", "title", 0), 1u);
  fault_arm(FaultPoint::kDialogPromptReboot, 1, 1);
  EXPECT_EQ(dialog_prompt_reboot(), -1);

  PlatformVersion version;
  fault_arm(FaultPoint::kVersionGet, 1, 1);
  EXPECT_EQ(platform_get_version(&version), 1u);
  EXPECT_EQ(platform_get_version(&version), 0u);
  bool admin = platform_is_user_admin();
  fault_arm(FaultPoint::kUserAdmin, 1, 1);
  EXPECT_FALSE(platform_is_user_admin());
  EXPECT_EQ(platform_is_user_admin(), admin);

  ProcessHandle process = nullptr;
  fault_arm_subject(FaultPoint::kProcessStart, "true", 1016);
  EXPECT_EQ(process_start("true", &process), 1016u);
  EXPECT_EQ(live(LiveHandle::kProcess), 0);
  ASSERT_EQ(process_start("true", &process), 0u);
  process_wait(process);
  uint32_t code = 7;
  fault_arm(FaultPoint::kProcessExitCode, 1, 1);
  EXPECT_FALSE(process_exit_code(process, &code));
  EXPECT_TRUE(process_exit_code(process, &code));
  EXPECT_EQ(code, 0u);
  process_close(process);
}

// Opens the setup file and looks up what kInf holds: the first status that
// is not the one expected.
StatusCode walk_setup_file() {
  InfHandle inf = nullptr;
  StatusCode status = inf_open("zebsetup.inf", &inf);
  if (status != 0) return status;
  InfLine line{};
  InfLine next{};
  int32_t number = 0;
  char text[64];
  status = inf_find_first_line(inf, "cfg_strings", "name", &line);
  if (status == 0) {
    status = inf_get_int_field(&line, 1, &number);
    status = status == W32_ERROR_INVALID_DATA ? 0 : (status == 0 ? 1 : status);
  }
  if (status == 0) {
    status = inf_get_line_by_index(inf, "cfg_start_stop", 0, &line);
  }
  if (status == 0) status = inf_find_next_line(&line, &next);
  if (status == 0) {
    status = inf_get_string_field(&next, 0, text, sizeof(text), nullptr);
  }
  inf_close(inf);
  return status;
}

// Opens svc_a, queries, stops and starts it: the first failure.
StatusCode drive_service() {
  ServiceHandle manager = nullptr;
  StatusCode status = svc_open_manager(W32_GENERIC_EXECUTE, &manager);
  if (status != 0) return status;
  ServiceHandle service = nullptr;
  status = svc_open_service(manager, "svc_a", W32_SERVICE_ALL_ACCESS, &service);
  uint32_t state = 0;
  if (status == 0) status = svc_query_state(service, &state);
  if (status == 0) status = svc_control_stop(service);
  if (status == 0) status = svc_start(service);
  svc_close(service);
  svc_close(manager);
  return status;
}

struct StatusCase {
  FaultPoint point;
  const char* subject;
};

// Every INF lookup, service operation and lock fails with the armed code for
// its subject, and leaves no handle open.
TEST_F(FaultInjection, InfServiceAndLockOperationsFailWithTheArmedCode) {
  const StatusCase cases[] = {
      {FaultPoint::kInfRead, "zebsetup.inf"},
      {FaultPoint::kInfOpen, "zebsetup.inf"},
      {FaultPoint::kInfFindFirstLine, "cfg_strings:name"},
      {FaultPoint::kInfIntField, "cfg_strings"},
      {FaultPoint::kInfLineByIndex, "cfg_start_stop"},
      {FaultPoint::kInfFindNextLine, "cfg_start_stop"},
      {FaultPoint::kInfStringField, "cfg_start_stop"},
      {FaultPoint::kSvcOpenManager, ""},
      {FaultPoint::kSvcOpenService, "svc_a"},
      {FaultPoint::kSvcQueryState, "svc_a"},
      {FaultPoint::kSvcControlStop, "svc_a"},
      {FaultPoint::kSvcStart, "svc_a"},
      {FaultPoint::kLockAcquire, "the lock"},
  };
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(fault_point_name(c.point));
    fault_clear();
    put_test_dword("System\\CurrentControlSet\\Services\\svc_a", "State",
                   W32_SERVICE_RUNNING);
    fault_arm_subject(c.point, c.subject, 1234);
    StatusCode status = walk_setup_file();
    if (status == 0) status = drive_service();
    NamedLock lock = nullptr;
    if (status == 0) status = lock_acquire("the lock", &lock);
    if (status == 0) lock_release(lock);
    EXPECT_EQ(status, 1234u);
    FaultRecord record;
    ASSERT_TRUE(fault_fired(&record));
    EXPECT_EQ(record.point, c.point);
    EXPECT_EQ(record.subject, c.subject);
    for (int kind = 0; kind < static_cast<int>(LiveHandle::kCount); ++kind) {
      EXPECT_EQ(live(static_cast<LiveHandle>(kind)), 0)
          << live_handle_name(static_cast<LiveHandle>(kind));
    }
  }
}

TEST_F(FaultInjection, FailedStatementStepRollsTheWriteBack) {
  RegKey key = create("Soft");
  fault_arm_subject(FaultPoint::kStoreStep, "INSERT INTO vals*", 1016);
  EXPECT_EQ(set_text(key, "v", "1"), 1016u);
  EXPECT_FALSE(has_value(key, "v"));
  fault_arm_subject(FaultPoint::kStoreCommit, "COMMIT", 112);
  EXPECT_EQ(set_text(key, "v", "1"), 112u);
  EXPECT_FALSE(has_value(key, "v"));
  fault_arm_subject(FaultPoint::kStoreBegin, "BEGIN IMMEDIATE", 170);
  EXPECT_EQ(set_text(key, "v", "1"), 170u);
  EXPECT_FALSE(has_value(key, "v"));
  EXPECT_EQ(set_text(key, "v", "1"), 0u);
  EXPECT_TRUE(has_value(key, "v"));
  reg_close_key(key);
}

// A failure that SQLite answers by abandoning the transaction abandons the
// whole group: the group's later writes and its end fail, and none of its
// writes lands. A failure that leaves the transaction open undoes only the
// failed write.
TEST_F(FaultInjection, FailedStepInsideAGroup) {
  struct GroupCase {
    StatusCode code;
    bool group_lands;
  };
  const GroupCase cases[] = {{1016, false}, {112, false}, {5, true}};
  for (const GroupCase& c : cases) {
    SCOPED_TRACE(c.code);
    RegKey key = create("Soft");
    reg_delete_value(key, "a");
    reg_delete_value(key, "b");
    reg_delete_value(key, "c");
    ASSERT_EQ(reg_begin_group(), 0u);
    EXPECT_EQ(set_text(key, "a", "1"), 0u);
    fault_arm_subject(FaultPoint::kStoreStep, "INSERT INTO vals*", c.code);
    EXPECT_EQ(set_text(key, "b", "1"), c.code);
    StatusCode later = set_text(key, "c", "1");
    StatusCode end = reg_end_group();
    EXPECT_EQ(later, c.group_lands ? 0u : W32_ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(end, c.group_lands ? 0u : W32_ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(has_value(key, "a"), c.group_lands);
    EXPECT_FALSE(has_value(key, "b"));
    EXPECT_EQ(has_value(key, "c"), c.group_lands);
    reg_close_key(key);
    // The store goes on working after either.
    key = create("Soft");
    EXPECT_EQ(set_text(key, "d", "1"), 0u);
    reg_close_key(key);
  }
}

// A read that SQLite answers by abandoning the group's transaction leaves no
// listing of the writes it undid to be served.
TEST_F(FaultInjection, FailedReadInsideAGroupForgetsWhatItListed) {
  RegKey key = create("Soft");
  ASSERT_EQ(reg_begin_group(), 0u);
  EXPECT_EQ(set_text(key, "a", "1"), 0u);
  EXPECT_EQ(value_count(key), 1u);
  fault_arm_subject(FaultPoint::kStoreStep, "SELECT type, data*", 1016);
  EXPECT_FALSE(has_value(key, "a"));
  EXPECT_TRUE(fault_fired(nullptr));
  EXPECT_EQ(value_count(key), 0u);
  EXPECT_EQ(reg_end_group(), 1016u);
  reg_close_key(key);
}

// A read transaction whose commit fails must end all the same.
TEST_F(FaultInjection, FailedEndOfAReadLeavesNoTransactionOpen) {
  RegKey key = create("Soft\\Deep");
  reg_close_key(key);
  // A path of two names is read in one transaction.
  fault_arm_subject(FaultPoint::kStoreStep, "COMMIT", W32_ERROR_ACCESS_DENIED);
  ASSERT_EQ(
      reg_open_key(reg_local_machine(), "Soft\\Deep", W32_KEY_ALL_ACCESS, &key),
      0u);
  EXPECT_TRUE(fault_fired(nullptr));
  EXPECT_FALSE(registry_store_transaction_open());
  EXPECT_EQ(set_text(key, "v", "1"), 0u);
  reg_close_key(key);
}

// A snapshot whose begin fails at any step leaves nothing open; one whose end
// fails ends all the same.
TEST_F(FaultInjection, FailedSnapshotLeavesNoTransactionOpen) {
  RegKey key = create("Soft");
  const StatusCase cases[] = {
      {FaultPoint::kRegBeginSnapshot, ""},
      {FaultPoint::kStoreStep, "BEGIN"},
      {FaultPoint::kStoreStep, "PRAGMA data_version"},
      {FaultPoint::kStoreStep, "COMMIT"},
  };
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(c.subject);
    fault_clear();
    fault_arm_subject(c.point, c.subject, W32_ERROR_REGISTRY_IO_FAILED);
    StatusCode status = reg_begin_snapshot();
    if (status == 0) reg_end_snapshot();
    EXPECT_TRUE(fault_fired(nullptr));
    EXPECT_EQ(status, std::string(c.subject) == "COMMIT"
                          ? 0u
                          : W32_ERROR_REGISTRY_IO_FAILED);
    EXPECT_FALSE(registry_store_transaction_open());
    EXPECT_EQ(set_text(key, "v", "1"), 0u);
  }
  reg_close_key(key);
}

TEST_F(FaultInjection, FailedGroupEndLandsNothing) {
  RegKey key = create("Soft");
  ASSERT_EQ(reg_begin_group(), 0u);
  EXPECT_EQ(set_text(key, "a", "1"), 0u);
  fault_arm(FaultPoint::kRegEndGroup, 1, 1016);
  EXPECT_EQ(reg_end_group(), 1016u);
  EXPECT_FALSE(has_value(key, "a"));
  fault_arm(FaultPoint::kRegBeginGroup, 1, 5);
  EXPECT_EQ(reg_begin_group(), 5u);
  EXPECT_EQ(set_text(key, "a", "1"), 0u);
  EXPECT_TRUE(has_value(key, "a"));
  reg_close_key(key);
}

TEST_F(FaultInjection, LiveHandlesAreCountedUntilReleased) {
  EXPECT_EQ(live(LiveHandle::kRegKey), 0);
  RegKey key = create("Soft");
  RegKey again = nullptr;
  ASSERT_EQ(reg_open_key(key, nullptr, W32_KEY_READ, &again), 0u);
  EXPECT_EQ(live(LiveHandle::kRegKey), 2);
  reg_close_key(reg_local_machine());
  reg_close_key(nullptr);
  reg_close_key(again);
  reg_close_key(key);
  EXPECT_EQ(live(LiveHandle::kRegKey), 0);

  InfHandle inf = nullptr;
  ASSERT_EQ(inf_open("zebsetup.inf", &inf), 0u);
  EXPECT_EQ(live(LiveHandle::kInf), 1);
  inf_close(inf);
  EXPECT_EQ(live(LiveHandle::kInf), 0);

  NamedLock lock = nullptr;
  ASSERT_EQ(lock_acquire("the lock", &lock), 0u);
  EXPECT_EQ(live(LiveHandle::kLock), 1);
  lock_release(lock);
  EXPECT_EQ(live(LiveHandle::kLock), 0);
}

}  // namespace
