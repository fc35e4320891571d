// Stopping and starting the listed services against the services that the
// POSIX backend emulates in the store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/entry.h"
#include "cli/handlers.h"
#include "cli/status.h"
#include "platform/posix/fault.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "service/service.h"
#include "test_root.h"

namespace {

const char* const kServicesPath = "System\\CurrentControlSet\\Services\\";
const uint32_t kNever = 3600000;  // a stop delay no test waits out

int g_pauses = 0;

void count_pause(uint32_t milliseconds) {
  EXPECT_EQ(milliseconds, STOP_POLL_INTERVAL_MS);
  ++g_pauses;
}

void count_and_sleep(uint32_t milliseconds) {
  ++g_pauses;
  process_sleep_ms(milliseconds);
}

class Services : public TestRoot {
 protected:
  void SetUp() override {
    TestRoot::SetUp();
    set_program_name("C:\\tools\\zebcfg.exe");
    g_pauses = 0;
    previous_pause_ = set_service_pause(count_pause);
  }
  void TearDown() override {
    fault_clear();
    set_service_pause(previous_pause_);
    TestRoot::TearDown();
  }

  // The setup file with the given [cfg_start_stop] lines.
  // Runs a walk in the context a command would have: the setup file as it
  // is now.
  static StatusCode in_context(StatusCode (*walk)(const CommandContext*)) {
    CommandContext context;
    context_open(&context);
    StatusCode status = walk(&context);
    context_close(&context);
    return status;
  }
  static StatusCode stop() { return in_context(stop_services); }
  static StatusCode start() { return in_context(start_services); }

  void list_services(const std::vector<std::string>& lines) {
    std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
    text += "[cfg_start_stop]\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    write_inf(text);
  }

  void set_dword(const std::string& path, const char* name, uint32_t value) {
    put_test_dword(path, name, value);
  }

  void add_service(const std::string& name, uint32_t state,
                   uint32_t stop_delay_ms = 0, bool accept_stop = true) {
    std::string path = kServicesPath + name;
    set_dword(path, "State", state);
    set_dword(path, "StopDelayMs", stop_delay_ms);
    set_dword(path, "AcceptStop", accept_stop ? 1 : 0);
  }

  void set_platform(uint32_t id, uint32_t major, uint32_t minor) {
    set_dword("System\\Platform", "PlatformId", id);
    set_dword("System\\Platform", "MajorVersion", major);
    set_dword("System\\Platform", "MinorVersion", minor);
  }

  // The service manager's answer for name: its state, or 0 when it cannot
  // be read.
  uint32_t state_of(const char* name) {
    ServiceHandle manager = nullptr;
    if (svc_open_manager(SC_MANAGER_ACCESS, &manager) != 0) return 0;
    ServiceHandle service = nullptr;
    uint32_t state = 0;
    if (svc_open_service(manager, name, SERVICE_STOP_ACCESS, &service) == 0) {
      if (svc_query_state(service, &state) != 0) state = 0;
      svc_close(service);
    }
    svc_close(manager);
    return state;
  }

  int32_t run(CommandHandler handler, OutputMode mode, const char* word,
              std::string* output) {
    std::string text = word;
    char* args[] = {&text[0]};
    testing::internal::CaptureStdout();
    int32_t result = handler(mode, 1, args);
    fflush(stdout);
    *output = testing::internal::GetCapturedStdout();
    return result;
  }

  ServicePauseFunction previous_pause_ = nullptr;
};

constexpr uint32_t STOPPED = W32_SERVICE_STOPPED;
constexpr uint32_t RUNNING = W32_SERVICE_RUNNING;

TEST_F(Services, StopWalksBackwardsAndStartForwards) {
  // The missing service in the middle ends each walk: what was handled
  // before it shows the order.
  list_services({"SvcA", "SvcMissing", "SvcC"});
  add_service("SvcA", RUNNING);
  add_service("SvcC", RUNNING);
  EXPECT_EQ(stop(), W32_ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(state_of("SvcC"), STOPPED);
  EXPECT_EQ(state_of("SvcA"), RUNNING);

  add_service("SvcA", STOPPED);
  EXPECT_EQ(start(), W32_ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(state_of("SvcA"), RUNNING);
  EXPECT_EQ(state_of("SvcC"), STOPPED);
}

TEST_F(Services, StopsAndStartsEveryListedService) {
  list_services({"SvcA", "key = SvcB, ignored", "SvcC"});
  add_service("SvcA", RUNNING);
  add_service("SvcB", RUNNING);
  add_service("SvcC", STOPPED);
  EXPECT_EQ(stop(), 0u);
  for (const char* name : {"SvcA", "SvcB", "SvcC"}) {
    EXPECT_EQ(state_of(name), STOPPED) << name;
  }
  EXPECT_EQ(start(), 0u);
  for (const char* name : {"SvcA", "SvcB", "SvcC"}) {
    EXPECT_EQ(state_of(name), RUNNING) << name;
  }
}

TEST_F(Services, StoppedServiceGetsNoRequest) {
  // A refusing service would fail the stop had it been sent the control.
  list_services({"SvcA"});
  add_service("SvcA", STOPPED, 0, false);
  EXPECT_EQ(stop(), 0u);
  EXPECT_EQ(g_pauses, 0);
}

TEST_F(Services, RefusedStopFailsAtOnce) {
  list_services({"SvcA", "SvcB", "SvcC"});
  add_service("SvcA", RUNNING);
  add_service("SvcB", RUNNING, 0, false);
  add_service("SvcC", RUNNING);
  EXPECT_EQ(stop(), STATUS_DEVICE_IS_OPEN);
  EXPECT_EQ(g_pauses, 0);
  EXPECT_EQ(state_of("SvcC"), STOPPED);
  EXPECT_EQ(state_of("SvcB"), RUNNING);
  EXPECT_EQ(state_of("SvcA"), RUNNING);
}

TEST_F(Services, HungServiceFailsAfterTheFullWait) {
  list_services({"SvcA", "SvcB"});
  add_service("SvcA", RUNNING);
  add_service("SvcB", RUNNING, kNever);
  EXPECT_EQ(stop(), STATUS_DEVICE_IS_OPEN);
  EXPECT_EQ(g_pauses, static_cast<int>(STOP_POLL_LIMIT));
  EXPECT_EQ(state_of("SvcA"), RUNNING);
}

TEST_F(Services, SlowServiceIsWaitedFor) {
  set_service_pause(count_and_sleep);
  list_services({"SvcA"});
  add_service("SvcA", RUNNING, 300);
  EXPECT_EQ(stop(), 0u);
  EXPECT_EQ(state_of("SvcA"), STOPPED);
}

TEST_F(Services, EmptyOrMissingSectionDoesNothing) {
  for (const char* text :
       {"[Version]\r\nSignature=\"$Windows NT$\"\r\n",
        "[Version]\r\nSignature=\"$Windows NT$\"\r\n[cfg_start_stop]\r\n"}) {
    write_inf(text);
    EXPECT_EQ(stop(), 0u);
    EXPECT_EQ(start(), 0u);
  }
}

TEST_F(Services, ReaderFailuresEndTheWalk) {
  std::string long_name(256, 's');
  list_services({"SvcA", long_name});
  add_service("SvcA", RUNNING);
  EXPECT_EQ(stop(), W32_ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(state_of("SvcA"), RUNNING);

  std::system(("rm -f '" + root_ + "/inf/zebsetup.inf'").c_str());
  EXPECT_EQ(stop(), STATUS_INF_NOT_FOUND);
  EXPECT_EQ(start(), STATUS_INF_NOT_FOUND);
}

// Only the end of the list ends the start walk quietly: a lookup that fails
// otherwise fails the start, rather than leave the services after it
// stopped while reporting success.
TEST_F(Services, FailedLineLookupFailsTheStart) {
  list_services({"SvcA", "SvcB"});
  add_service("SvcA", STOPPED);
  add_service("SvcB", STOPPED);
  fault_arm(FaultPoint::kInfFindFirstLine, 1, W32_ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(start(), W32_ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(state_of("SvcA"), STOPPED);
  fault_arm(FaultPoint::kInfFindNextLine, 1, W32_ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(start(), W32_ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(state_of("SvcA"), RUNNING);
  EXPECT_EQ(state_of("SvcB"), STOPPED);
}

TEST_F(Services, PlatformGate) {
  struct {
    uint32_t id, major, minor;
    StatusCode status;
  } cases[] = {
      {W32_VER_PLATFORM_WIN32_NT, 5, 2, STATUS_OS},
      {W32_VER_PLATFORM_WIN32_WINDOWS, 4, 10, STATUS_OS},
      {W32_VER_PLATFORM_WIN32_NT, 6, 1, 0},
      {W32_VER_PLATFORM_WIN32_NT, 5, 0, 0},
  };
  list_services({"SvcA"});
  for (const auto& c : cases) {
    add_service("SvcA", RUNNING);
    set_platform(c.id, c.major, c.minor);
    EXPECT_EQ(stop(), c.status) << c.major << "." << c.minor;
    EXPECT_EQ(start(), c.status == 0 ? 0u : c.status);
    EXPECT_EQ(state_of("SvcA"), RUNNING);
  }
  set_platform(W32_VER_PLATFORM_WIN32_NT, 5, 2);
  add_service("SvcA", STOPPED);
  EXPECT_FALSE(is_service_stopped("SvcA"));
}

TEST_F(Services, ProbeAnswersOnlyForAStoppedService) {
  add_service("SvcA", STOPPED);
  add_service("SvcB", RUNNING);
  EXPECT_TRUE(is_service_stopped("SvcA"));
  EXPECT_FALSE(is_service_stopped("SvcB"));
  EXPECT_FALSE(is_service_stopped("SvcMissing"));
  EXPECT_FALSE(is_service_stopped(nullptr));
}

TEST_F(Services, StopCommandReportsAndReturnsTheStatus) {
  list_services({"SvcA"});
  struct {
    CommandHandler handler;
    OutputMode mode;
    const char* word;
    const char* output;
  } cases[] = {
      {stop_handler, MODE_NORMAL, "stop",
       "Can not continue: an instance of the driver is still open.\n"},
      {stop_handler, MODE_QUIET, "stopq", ""},
  };
  for (const auto& c : cases) {
    add_service("SvcA", RUNNING, 0, false);
    std::string out;
    EXPECT_EQ(static_cast<uint32_t>(run(c.handler, c.mode, c.word, &out)),
              STATUS_DEVICE_IS_OPEN);
    EXPECT_EQ(out, c.output);
  }
  add_service("SvcA", RUNNING);
  std::string out;
  EXPECT_EQ(run(stop_handler, MODE_NORMAL, "stop", &out), 0);
  EXPECT_EQ(out, "");
}

TEST_F(Services, RestartStartsNothingWhenStoppingFailed) {
  list_services({"SvcA", "SvcB"});
  add_service("SvcA", STOPPED);
  add_service("SvcB", RUNNING, 0, false);
  std::string out;
  EXPECT_EQ(run(restart_handler, MODE_NORMAL, "restart", &out), 1);
  EXPECT_EQ(out,
            "Can not continue: an instance of the driver is still open.\n");
  EXPECT_EQ(state_of("SvcA"), STOPPED);
}

TEST_F(Services, RestartEndsWithTheStartStatus) {
  // The second line names the service again, which then already runs.
  list_services({"SvcA", "SvcA"});
  add_service("SvcA", RUNNING);
  std::string out;
  EXPECT_EQ(run(restart_handler, MODE_NORMAL, "restart", &out),
            static_cast<int32_t>(W32_ERROR_SERVICE_ALREADY_RUNNING));
  EXPECT_EQ(out, "Unrecognized system error 1056(0x420)\n");
  EXPECT_EQ(state_of("SvcA"), RUNNING);

  list_services({"SvcA", "SvcB"});
  add_service("SvcB", STOPPED);
  EXPECT_EQ(run(restart_handler, MODE_QUIET, "restartq", &out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(state_of("SvcA"), RUNNING);
  EXPECT_EQ(state_of("SvcB"), RUNNING);
}

}  // namespace
