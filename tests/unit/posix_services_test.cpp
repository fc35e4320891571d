// The POSIX service backend: services scripted in the store under
// HKLM\System\CurrentControlSet\Services, each test with its own root.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "platform/posix/fault.h"
#include "platform/posix/registry_store.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "test_root.h"

namespace {

const char kServices[] = "System\\CurrentControlSet\\Services\\";
const uint32_t kQueryAndExecute =
    W32_GENERIC_EXECUTE | W32_SERVICE_QUERY_STATUS;
const uint32_t kHour = 3600000;

class PosixServices : public TestRoot {
 protected:
  void SetUp() override {
    TestRoot::SetUp();
    ASSERT_EQ(svc_open_manager(W32_GENERIC_EXECUTE, &manager_), 0u);
  }
  void TearDown() override {
    fault_clear();
    svc_close(manager_);
    TestRoot::TearDown();
  }

  void set_dword(const char* service, const char* name, uint32_t value) {
    put_test_dword(std::string(kServices) + service, name, value);
  }

  // Records a stop request made ago_ms milliseconds ago (negative: later).
  void set_requested(const char* service, int64_t ago_ms) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000 +
                  static_cast<uint64_t>(now.tv_nsec / 1000000) - ago_ms;
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
      bytes[i] = static_cast<unsigned char>(ms >> (8 * i));
    RegKey key = nullptr;
    std::string path = std::string(kServices) + service;
    ASSERT_EQ(reg_open_key(reg_local_machine(), path.c_str(),
                           W32_KEY_ALL_ACCESS, &key),
              0u);
    EXPECT_EQ(reg_set_value(key, "StopRequestedAt", W32_REG_BINARY, bytes, 8),
              0u);
    reg_close_key(key);
  }

  uint32_t stored_state(const char* service) {
    RegKey key = nullptr;
    std::string path = std::string(kServices) + service;
    uint32_t state = 0;
    uint32_t size = sizeof(state);
    EXPECT_EQ(reg_open_key(reg_local_machine(), path.c_str(),
                           W32_KEY_QUERY_VALUE, &key),
              0u);
    EXPECT_EQ(reg_query_value(key, "State", nullptr, &state, &size), 0u);
    reg_close_key(key);
    return state;
  }

  ServiceHandle open(const char* name, uint32_t access = kQueryAndExecute) {
    ServiceHandle service = nullptr;
    EXPECT_EQ(svc_open_service(manager_, name, access, &service), 0u) << name;
    return service;
  }

  uint32_t query(ServiceHandle service) {
    uint32_t state = 0;
    EXPECT_EQ(svc_query_state(service, &state), 0u);
    return state;
  }

  ServiceHandle manager_ = nullptr;
};

TEST_F(PosixServices, UnknownOrInvalidNamesDoNotOpen) {
  set_dword("zebsvc", "State", W32_SERVICE_STOPPED);
  const struct {
    std::string name;
    StatusCode status;
  } cases[] = {
      {"nosuch", W32_ERROR_SERVICE_DOES_NOT_EXIST},
      {std::string(300, 'x'), W32_ERROR_SERVICE_DOES_NOT_EXIST},
      {"", 123},
      {"zebsvc\\sub", 123},
      {"a/b", 123},
  };
  for (const auto& c : cases) {
    ServiceHandle service = nullptr;
    EXPECT_EQ(
        svc_open_service(manager_, c.name.c_str(), kQueryAndExecute, &service),
        c.status)
        << c.name;
  }
  ServiceHandle service = nullptr;
  EXPECT_EQ(svc_open_service(manager_, "ZEBSVC", kQueryAndExecute, &service),
            0u);
  svc_close(service);
}

TEST_F(PosixServices, StartAndImmediateStop) {
  set_dword("zebsvc", "State", W32_SERVICE_STOPPED);
  ServiceHandle service = open("zebsvc");
  EXPECT_EQ(svc_start(service), 0u);
  EXPECT_EQ(query(service), W32_SERVICE_RUNNING);
  EXPECT_EQ(svc_start(service), W32_ERROR_SERVICE_ALREADY_RUNNING);
  EXPECT_EQ(svc_control_stop(service), 0u);
  EXPECT_EQ(query(service), W32_SERVICE_STOPPED);
  EXPECT_EQ(svc_control_stop(service), W32_ERROR_SERVICE_NOT_ACTIVE);
  svc_close(service);
}

TEST_F(PosixServices, ServiceWithoutStateIsStopped) {
  set_dword("zebsvc", "AcceptStop", 1);
  ServiceHandle service = open("zebsvc");
  EXPECT_EQ(query(service), W32_SERVICE_STOPPED);
  EXPECT_EQ(svc_start(service), 0u);
  EXPECT_EQ(stored_state("zebsvc"), W32_SERVICE_RUNNING);
  svc_close(service);
}

TEST_F(PosixServices, RefusedStopLeavesItRunning) {
  set_dword("zebsvc", "State", W32_SERVICE_RUNNING);
  set_dword("zebsvc", "AcceptStop", 0);
  ServiceHandle service = open("zebsvc");
  EXPECT_EQ(svc_control_stop(service), W32_ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_EQ(query(service), W32_SERVICE_RUNNING);
  svc_close(service);
}

TEST_F(PosixServices, DelayedStopIsPendingUntilTheDelayHasPassed) {
  set_dword("zebsvc", "State", W32_SERVICE_RUNNING);
  set_dword("zebsvc", "StopDelayMs", kHour);
  ServiceHandle service = open("zebsvc");
  EXPECT_EQ(svc_control_stop(service), 0u);
  EXPECT_EQ(query(service), W32_SERVICE_STOP_PENDING);
  EXPECT_EQ(svc_start(service), W32_ERROR_SERVICE_ALREADY_RUNNING);
  EXPECT_EQ(svc_control_stop(service), 1061u);
  set_requested("zebsvc", kHour + 1);
  EXPECT_EQ(stored_state("zebsvc"), W32_SERVICE_STOP_PENDING);
  EXPECT_EQ(query(service), W32_SERVICE_STOPPED);
  EXPECT_EQ(stored_state("zebsvc"), W32_SERVICE_STOPPED);
  EXPECT_EQ(svc_start(service), 0u);
  svc_close(service);
}

TEST_F(PosixServices, PendingStopCompletesForAStartToo) {
  set_dword("zebsvc", "State", W32_SERVICE_STOP_PENDING);
  set_dword("zebsvc", "StopDelayMs", 1000);
  set_requested("zebsvc", 5000);
  ServiceHandle service = open("zebsvc");
  EXPECT_EQ(svc_start(service), 0u);
  EXPECT_EQ(query(service), W32_SERVICE_RUNNING);
  svc_close(service);
}

TEST_F(PosixServices, ClockThatWentBackDoesNotHoldAStopForever) {
  set_dword("zebsvc", "State", W32_SERVICE_STOP_PENDING);
  set_dword("zebsvc", "StopDelayMs", 1000);
  set_requested("zebsvc", -kHour);
  ServiceHandle service = open("zebsvc");
  EXPECT_EQ(query(service), W32_SERVICE_STOPPED);
  svc_close(service);
}

TEST_F(PosixServices, AccessMaskGrantsTheOperations) {
  set_dword("zebsvc", "State", W32_SERVICE_STOPPED);
  ServiceHandle query_only = open("zebsvc", W32_SERVICE_QUERY_STATUS);
  EXPECT_EQ(svc_start(query_only), W32_ERROR_ACCESS_DENIED);
  EXPECT_EQ(svc_control_stop(query_only), W32_ERROR_ACCESS_DENIED);
  EXPECT_EQ(query(query_only), W32_SERVICE_STOPPED);
  ServiceHandle execute = open("zebsvc", W32_GENERIC_EXECUTE);
  uint32_t state = 0;
  EXPECT_EQ(svc_query_state(execute, &state), W32_ERROR_ACCESS_DENIED);
  EXPECT_EQ(svc_start(execute), 0u);
  EXPECT_EQ(svc_control_stop(execute), 0u);
  EXPECT_EQ(svc_start(manager_), W32_ERROR_INVALID_HANDLE);
  svc_close(query_only);
  svc_close(execute);
}

TEST_F(PosixServices, ServiceDeletedWhileOpenFailsCleanly) {
  set_dword("zebsvc", "State", W32_SERVICE_RUNNING);
  ServiceHandle service = open("zebsvc");
  std::string path = std::string(kServices) + "zebsvc";
  ASSERT_EQ(reg_delete_key(reg_local_machine(), path.c_str()), 0u);
  uint32_t state = 0;
  EXPECT_EQ(svc_query_state(service, &state), W32_ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(svc_control_stop(service), W32_ERROR_SERVICE_DOES_NOT_EXIST);
  svc_close(service);
}

TEST_F(PosixServices, ManagerRefusedToUsersWhoCannotWriteTheStore) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(seteuid(65534), 0);
  ServiceHandle manager = nullptr;
  StatusCode status = svc_open_manager(W32_GENERIC_EXECUTE, &manager);
  ASSERT_EQ(seteuid(0), 0);
  EXPECT_EQ(status, W32_ERROR_ACCESS_DENIED);
}

// A state that cannot be read is an error, not a stopped service: a stop
// would otherwise be skipped, and a start write over a running service.
TEST_F(PosixServices, UnreadableStateFailsEveryOperation) {
  set_dword("Svc", "State", W32_SERVICE_RUNNING);
  ServiceHandle service = open("Svc");
  uint32_t state = 0;
  fault_arm_subject(FaultPoint::kRegQuery, "State", 170);
  EXPECT_EQ(svc_query_state(service, &state), 170u);
  fault_arm_subject(FaultPoint::kRegQuery, "State", 170);
  EXPECT_EQ(svc_control_stop(service), 170u);
  fault_arm_subject(FaultPoint::kRegQuery, "State", 170);
  EXPECT_EQ(svc_start(service), 170u);
  fault_clear();
  EXPECT_EQ(stored_state("Svc"), W32_SERVICE_RUNNING);
  svc_close(service);
}

// Starts the stopped service name in a child process once the pipe barrier
// reads as closed: exit code 0 when it started it, 1 when it found it
// running, 2 otherwise.
pid_t start_in_child(const char* name, const int barrier[2]) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  close(barrier[1]);
  char byte;
  while (read(barrier[0], &byte, 1) > 0) {
  }
  registry_store_reset();  // a connection of its own
  ServiceHandle manager = nullptr;
  ServiceHandle service = nullptr;
  if (svc_open_manager(W32_GENERIC_EXECUTE, &manager) != 0 ||
      svc_open_service(manager, name, W32_GENERIC_EXECUTE, &service) != 0) {
    _exit(2);
  }
  StatusCode status = svc_start(service);
  _exit(status == 0 ? 0 : status == W32_ERROR_SERVICE_ALREADY_RUNNING ? 1 : 2);
}

// Of several processes starting one stopped service at once, exactly one
// starts it and the others find it running, as the service manager
// serializes its controls.
TEST_F(PosixServices, ConcurrentStartsStartTheServiceOnce) {
  constexpr int kStarters = 6;
  for (int round = 0; round < 10; ++round) {
    set_dword("Svc", "State", W32_SERVICE_STOPPED);
    registry_store_reset();
    int barrier[2];
    ASSERT_EQ(pipe(barrier), 0);
    pid_t children[kStarters];
    for (pid_t& child : children) child = start_in_child("Svc", barrier);
    close(barrier[0]);
    close(barrier[1]);
    int started = 0;
    int running = 0;
    for (pid_t child : children) {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status));
      started += WEXITSTATUS(status) == 0 ? 1 : 0;
      running += WEXITSTATUS(status) == 1 ? 1 : 0;
    }
    EXPECT_EQ(started, 1) << "round " << round;
    EXPECT_EQ(running, kStarters - 1) << "round " << round;
  }
}

}  // namespace
