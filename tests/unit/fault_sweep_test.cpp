// The fault sweep: the handler of each command runs on a fresh copy of one
// prepared store with the nth platform call failing (any operation, store
// statements included), for n = 1, 2, ... until a run meets no fault, and
// with more than one failure code. Every run must return and keep this
// promise: a run that ends as a run that did its job (exit 0; osver: the
// class) leaves the store as the fault-free run does, except where the
// design cannot tell a failure from a true answer (listed with each
// command); any other run reports its failure, each text once (the quiet
// forms print nothing). And every run must leave no handle open, no lock
// held, no transaction open, a store that passes SQLite's integrity check
// and no half-made device.
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/entry.h"
#include "cli/handlers.h"
#include "cli/status.h"
#include "platform/posix/fault.h"
#include "platform/posix/live_handles.h"
#include "platform/posix/registry_store.h"
#include "platform/registry.h"
#include "json.h"
#include "service/service.h"
#include "test_root.h"
#include "verbs.h"

namespace {

const char* const kDevices = "Software\\Zeb\\Devices";

const char* const kSweepInf =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\n"
    "[cfg_strings]\r\n"
    "dev_reg_root=\"Software\\Zeb\\Devices\"\r\n"
    "map_path=\"Software\\Zeb\\Map\"\r\n"
    "conn_port_name=PortName\r\n"
    "xpt_class_name=TransportClass\r\n"
    "[cfg_prop_map]\r\n"
    "Port.Transport = 0, 0x00000004\r\n"
    "Port.BaudRate = 1, 0x00000000, 110, 921600\r\n"
    "Port.Parity = 0, 0x00000000, \"|none|odd|even\"\r\n"
    "Net.Host = 0, 0x00000000\r\n"
    "Timing.CharTimeout = 1, 0x00000008, 0, 60000\r\n"
    "Timing.ReadTimeout = 1, 0x00010008, 0, 600000\r\n"
    "Timing.WriteTimeout = 1, 0x00020008, 0, 600000\r\n"
    "[cfg_xpt_map]\r\nserial = ZebSerial\r\ntcp = ZebTcp\r\n"
    "[cfg_start_stop]\r\nzebbus\r\nzebser\r\n";

// The codes the sweep fails calls with: 2, which several paths read as
// "absent"; 5, which the service query answers by asking again for reading
// only; and an I/O failure, which also abandons an open store transaction.
const StatusCode kSweepCodes[] = {W32_ERROR_FILE_NOT_FOUND,
                                  W32_ERROR_ACCESS_DENIED,
                                  W32_ERROR_REGISTRY_IO_FAILED};

// A failure that the design ignores, so that a run may end quietly with the
// exit code and the store this failure leaves rather than the fault-free
// run's. The sweep makes it happen on purpose (the nth call at point with
// subject) to learn that outcome.
struct IgnoredFailure {
  FaultPoint point;
  const char* subject;
  uint32_t nth;
  const char* reason;
};

struct SweepCommand {
  const char* label;
  CommandHandler handler;
  OutputMode mode;
  std::vector<std::string> words;  // the command word first
  int32_t done;                    // the exit code of a run that did its job
  std::vector<IgnoredFailure> ignored;
  // For a command that only answers a question: whether a run that met this
  // fault may still answer it (null: the store comparison decides).
  bool (*fault_may_pass)(const FaultRecord& fault) = nullptr;
  // A failure with code 2 anywhere may read as "no such device or entry":
  // for a desired state that asks for its absence, that is the state.
  bool two_reads_as_absent = false;
};

// osver needs only the version record: its answer may pass over a failure
// of the setup file, which serves the texts of reports alone, and over a
// failed end of a read that has its answer.
bool fault_beside_the_record(const FaultRecord& fault) {
  bool setup_file = fault.within >= FaultPoint::kInfOpen &&
                    fault.within <= FaultPoint::kInfIntField;
  bool read_ended =
      fault.point == FaultPoint::kStoreStep && fault.subject == "COMMIT";
  return setup_file || read_ended;
}

// zebstate set of the document args[1], as a command of the sweep: on
// failure it shows its error's text on the output as a handler would, after
// a line (no status text) should it have printed anything else.
int32_t zebstate_set_handler(OutputMode, int32_t, char* const* args) {
  Invocation run = {VERB_SET, KIND_DOCUMENT, false, false, args[1]};
  std::string out;
  std::string err;
  int32_t code = run_invocation(run, &out, &err);
  if (code == 0) return 0;
  if (!out.empty()) std::fputs("half-written output\n", stdout);
  JsonValue line;
  std::string why;
  if (json_parse(err, &line, &why) && json_member(line, "error") != nullptr) {
    std::printf("%s\n", json_member(line, "error")->text.c_str());
  }
  return code;
}

const char* const kDesiredDocument =
    "{\"devices\": ["
    "{\"name\": \"com1\", \"properties\": {\"Port.BaudRate\": 115200, "
    "\"Timing.ReadTimeout\": 500, \"Timing.CharTimeout\": null, "
    "\"Port.Parity\": null}},"
    "{\"name\": \"COM9\", \"properties\": {\"Port.Transport\": \"serial\", "
    "\"Net.Host\": \"gw\"}},"
    "{\"name\": \"COM3\", \"_exist\": false}],"
    "\"propertyMap\": [{\"name\": \"PollMs\", \"value\": 250}, "
    "{\"name\": \"Retries\", \"_exist\": false}]}";

// The class of the prepared platform: NT 5.1 by default, and the sweep
// runs as an administrator.
constexpr int32_t kSweepClass = 10;

std::vector<SweepCommand> sweep_commands() {
  return {
      {"a",
       add_handler,
       MODE_NORMAL,
       {"a", "COM9", "Port.Transport=serial", "Port.BaudRate=115200",
        "Timing.ReadTimeout=500", "Net.Host=gw"},
       0,
       {}},
      {"s",
       set_handler,
       MODE_NORMAL,
       {"s", "COM1", "Port.BaudRate=115200", "Timing.ReadTimeout=500",
        "Timing.CharTimeout=", "Port.Parity="},
       0,
       {}},
      {"sq", set_handler, MODE_QUIET, {"sq", "COM2", "Port.Parity=odd"}, 0, {}},
      {"r", remove_handler, MODE_NORMAL, {"r", "COM1"}, 0, {}},
      {"p",
       props_handler,
       MODE_NORMAL,
       {"p", "COM2"},
       0,
       {{FaultPoint::kRegDeleteKey, "zeb_dev_2", 1,
         "the purge ignores a failed walk or deletion: the doomed device "
         "stays"}}},
      {"ms",
       map_set_handler,
       MODE_NORMAL,
       {"ms", "PollMs=250", "Retries=", "Extra=7"},
       0,
       {}},
      {"zebstate set",
       zebstate_set_handler,
       MODE_NORMAL,
       {"zebstate-set", kDesiredDocument},
       0,
       {},
       nullptr,
       true},
      {"stop", stop_handler, MODE_NORMAL, {"stop"}, 0, {}},
      {"restart", restart_handler, MODE_NORMAL, {"restart"}, 0, {}},
      {"osver",
       osver_handler,
       MODE_NORMAL,
       {"osver"},
       kSweepClass,
       {{FaultPoint::kUserAdmin, "", 1,
         "the administrator question has no failure of its own: a failed "
         "one answers no, and NT 5.1 without the rights is class 11"}},
       fault_beside_the_record},
  };
}

// Failures that the system cannot tell from a true answer, so that a run
// exiting 0 acts on what it was told and its store is not compared.
bool answer_stands_for_absence(const FaultRecord& fault, StatusCode code) {
  // A read answering 2 says the key or value does not exist; the design
  // reads an absent marker as committed, an absent mask as 0, an absent
  // baud rate as 9600, an absent service state as stopped.
  if (code == W32_ERROR_FILE_NOT_FOUND &&
      (fault.within == FaultPoint::kRegOpen ||
       fault.within == FaultPoint::kRegQuery ||
       fault.within == FaultPoint::kRegQuerySubkeyDefault)) {
    return true;
  }
  // The line count has no failure of its own: -1 says the section is
  // missing, and there is no service to stop.
  return fault.point == FaultPoint::kInfLineCount;
}

// The whole store as text: "path" for each key, "path|name" for each value,
// mapped to "" and to "type:hex bytes".
typedef std::map<std::string, std::string> Dump;

std::string hex(const unsigned char* data, uint32_t size) {
  std::string text;
  char byte[3];
  for (uint32_t i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof(byte), "%02x", data[i]);
    text += byte;
  }
  return text;
}

void dump_key(RegKey key, const std::string& path, Dump* dump) {
  for (uint32_t i = 0;; ++i) {
    char name[300];
    uint32_t name_length = sizeof(name);
    unsigned char data[4096];
    uint32_t size = sizeof(data);
    uint32_t type = 0;
    if (reg_enum_value(key, i, name, &name_length, &type, data, &size) != 0) {
      break;
    }
    (*dump)[path + "|" + name] = std::to_string(type) + ":" + hex(data, size);
  }
  for (uint32_t i = 0;; ++i) {
    char name[300];
    uint32_t name_length = sizeof(name);
    if (reg_enum_key(key, i, name, &name_length) != 0) break;
    std::string child = path.empty() ? name : path + "\\" + name;
    (*dump)[child] = "";
    RegKey sub = nullptr;
    if (reg_open_key(key, name, W32_KEY_READ, &sub) != 0) continue;
    dump_key(sub, child, dump);
    reg_close_key(sub);
  }
}

Dump dump_store() {
  Dump dump;
  dump_key(reg_local_machine(), "", &dump);
  return dump;
}

std::string describe(const Dump& dump, const std::string& entry) {
  auto found = dump.find(entry);
  return found == dump.end() ? "(absent)" : "'" + found->second + "'";
}

// Where actual differs from expected, one line per entry.
std::vector<std::string> differences(const Dump& expected, const Dump& actual) {
  std::vector<std::string> entries;
  for (const auto& item : expected) {
    auto other = actual.find(item.first);
    if (other == actual.end() || other->second != item.second) {
      entries.push_back(item.first);
    }
  }
  for (const auto& item : actual) {
    if (expected.count(item.first) == 0) entries.push_back(item.first);
  }
  std::vector<std::string> lines;
  for (const std::string& entry : entries) {
    lines.push_back(entry + ": " + describe(actual, entry) + ", expected " +
                    describe(expected, entry));
  }
  return lines;
}

// Every subkey of the device root must hold its name value, marker and mask.
std::vector<std::string> half_made_devices(const Dump& dump) {
  std::vector<std::string> problems;
  std::string prefix = std::string(kDevices) + "\\";
  for (const auto& item : dump) {
    const std::string& entry = item.first;
    if (entry.compare(0, prefix.size(), prefix) != 0 ||
        entry.find('|') != std::string::npos ||
        entry.find('\\', prefix.size()) != std::string::npos) {
      continue;
    }
    for (const char* value : {"PortName", "", "autocfg_mask"}) {
      if (dump.count(entry + "|" + value) == 0) {
        problems.push_back("half-made device " + entry + ": no value '" +
                           value + "'");
      }
    }
  }
  return problems;
}

bool is_status_text(const std::string& line) {
  if (line.compare(0, 26, "Unrecognized system error ") == 0) return true;
  for (const StatusMessage* row = kStatusMessageTable; row->key != nullptr;
       ++row) {
    if (line == row->text) return true;
  }
  return false;
}

std::string last_line(const std::string& output) {
  std::string text = output;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  size_t start = text.rfind('\n');
  return start == std::string::npos ? text : text.substr(start + 1);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// "ok" when SQLite finds the store file sound, else what it found.
std::string integrity_of(const std::string& db_path) {
  sqlite3* db = nullptr;
  std::string result;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
      SQLITE_OK) {
    result = "cannot open";
  } else {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) ==
        SQLITE_OK) {
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(stmt, 0);
        if (!result.empty()) result += "; ";
        result += text != nullptr ? reinterpret_cast<const char*>(text) : "";
      }
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return result.empty() ? "no answer" : result;
}

void no_pause(uint32_t) {}

// The run under way, for a run that crashes: its command, n and code.
char g_current_run[512];

// Tells which run crashed, then lets the signal end the process.
void report_crash(int signal_number) {
  ssize_t unused = write(2, g_current_run, std::strlen(g_current_run));
  (void)unused;
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void note_current_run(const SweepCommand& command, uint32_t n,
                      StatusCode code) {
  std::snprintf(g_current_run, sizeof(g_current_run),
                "\nfault sweep: crashed in '%s' with call %u failing with %u\n",
                command.label, n, code);
}

struct RunResult {
  int32_t exit_code;
  std::string output;
  bool fired;
  FaultRecord fault;
  Dump dump;
};

// How a run may end: its exit code and the store it leaves.
struct Outcome {
  int32_t exit_code;
  Dump dump;
};

// The lines of output that are status texts, each once; a text shown twice
// goes into *repeated.
std::vector<std::string> reported_texts(const std::string& output,
                                        std::vector<std::string>* repeated) {
  std::vector<std::string> texts;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (!is_status_text(line)) continue;
    for (const std::string& text : texts) {
      if (text == line && repeated != nullptr) repeated->push_back(line);
    }
    texts.push_back(line);
  }
  return texts;
}

class FaultSweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    template_root_ = make_root();
    prepare_template();
    registry_store_reset();
    store_bytes_ = read_file(template_root_ + "/registry.db");
    run_root_ = make_root();
  }

  static void TearDownTestSuite() {
    for (const std::string& root : {template_root_, run_root_}) {
      if (!root.empty()) remove_test_root(root);
    }
  }

  void SetUp() override {
    set_program_name("C:\\tools\\zebcfg.exe");
    previous_pause_ = set_service_pause(no_pause);
    fault_clear();
    for (int signal_number : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE}) {
      std::signal(signal_number, report_crash);
    }
  }

  void TearDown() override {
    for (int signal_number : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE}) {
      std::signal(signal_number, SIG_DFL);
    }
    fault_clear();
    set_service_pause(previous_pause_);
  }

  // A private root in memory where there is one, with the setup file.
  static std::string make_root() {
    char pattern[] = "/dev/shm/zebcfg-sweep-XXXXXX";
    char fallback[] = "/tmp/zebcfg-sweep-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir == nullptr) dir = mkdtemp(fallback);
    if (dir == nullptr) {
      ADD_FAILURE() << "no temporary directory for the sweep";
      return "";
    }
    std::string root = dir;
    std::system(("mkdir -p '" + root + "/inf'").c_str());
    write_setup_file(root, kSweepInf);
    return root;
  }

  static void use_root(const std::string& root) {
    registry_store_reset();
    setenv("ZEBCFG_ROOT", root.c_str(), 1);
  }

  static void run_quietly(CommandHandler handler,
                          std::vector<std::string> words) {
    std::vector<char*> args;
    for (std::string& word : words) args.push_back(&word[0]);
    testing::internal::CaptureStdout();
    int32_t result =
        handler(MODE_NORMAL, static_cast<int32_t>(args.size()), args.data());
    fflush(stdout);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(result, 0) << words[0] << " " << words[1];
  }

  static void set_marker(const char* subkey, const char* marker) {
    put_test_value(std::string(kDevices) + "\\" + subkey, nullptr, W32_REG_SZ,
                   marker, 2);
  }

  // Devices COM1 (committed, one timing value set explicitly), COM2 (new,
  // never committed) and COM3 (doomed); a property map; two running
  // services that stop at once.
  static void prepare_template() {
    use_root(template_root_);
    RegKey key = nullptr;
    ASSERT_EQ(reg_create_key(reg_local_machine(), kDevices, W32_KEY_ALL_ACCESS,
                             &key, nullptr),
              0u);
    reg_close_key(key);
    put_test_dword("Software\\Zeb\\Map", "PollMs", 100);
    put_test_dword("Software\\Zeb\\Map", "Retries", 3);
    for (const char* service : {"zebbus", "zebser"}) {
      put_test_dword(
          std::string("System\\CurrentControlSet\\Services\\") + service,
          "State", W32_SERVICE_RUNNING);
    }
    run_quietly(add_handler, {"a", "COM1", "Port.Transport=serial",
                              "Port.Parity=even", "Timing.CharTimeout=7"});
    run_quietly(add_handler, {"a", "COM2", "Port.Transport=serial"});
    run_quietly(add_handler, {"a", "COM3", "Port.Transport=tcp"});
    set_marker("zeb_dev_1", "n");
    set_marker("zeb_dev_2", "d");
  }

  // Puts a fresh copy of the prepared store in place.
  static void restore_store() {
    use_root(run_root_);
    std::string db = run_root_ + "/registry.db";
    unlink((db + "-wal").c_str());
    unlink((db + "-shm").c_str());
    std::ofstream(db, std::ios::binary | std::ios::trunc) << store_bytes_;
  }

  // Runs the command on a fresh store, with ignored's failure made to
  // happen, or else the nth call failing with code (no fault for n = 0).
  static RunResult run(const SweepCommand& command,
                       const IgnoredFailure* ignored, uint32_t n,
                       StatusCode code) {
    restore_store();
    std::vector<std::string> words = command.words;
    std::vector<char*> args;
    for (std::string& word : words) args.push_back(&word[0]);
    RunResult result{};
    note_current_run(command, n, code);
    testing::internal::CaptureStdout();
    if (ignored != nullptr) {
      fault_arm_subject(ignored->point, ignored->subject, code, ignored->nth);
    } else if (n > 0) {
      fault_countdown(n, code);
    }
    result.exit_code = command.handler(
        command.mode, static_cast<int32_t>(args.size()), args.data());
    fflush(stdout);
    result.fired = fault_fired(&result.fault);
    fault_clear();
    result.output = testing::internal::GetCapturedStdout();
    return result;
  }

  // What a run left wrong, besides its store contents.
  static std::vector<std::string> check_leftovers(RunResult* result) {
    std::vector<std::string> problems;
    for (int kind = 0; kind < static_cast<int>(LiveHandle::kCount); ++kind) {
      int64_t count = live_handle_count(static_cast<LiveHandle>(kind));
      if (count != 0) {
        problems.push_back(std::to_string(count) + " " +
                           live_handle_name(static_cast<LiveHandle>(kind)) +
                           "(s) left open");
      }
    }
    if (registry_store_transaction_open()) {
      problems.push_back("a store transaction left open");
    }
    result->dump = dump_store();
    registry_store_reset();
    std::string integrity = integrity_of(run_root_ + "/registry.db");
    if (integrity != "ok") problems.push_back("integrity check: " + integrity);
    for (const std::string& problem : half_made_devices(result->dump)) {
      problems.push_back(problem);
    }
    return problems;
  }

  // A failed run reports its failure, each text once (the quiet forms say
  // nothing at all).
  static std::vector<std::string> check_report(const SweepCommand& command,
                                               const RunResult& result) {
    std::vector<std::string> problems;
    std::string exit = "exit code " + std::to_string(result.exit_code);
    if (is_quiet(command.mode)) {
      if (!result.output.empty()) problems.push_back(exit + " with output");
      return problems;
    }
    std::vector<std::string> repeated;
    std::vector<std::string> texts = reported_texts(result.output, &repeated);
    if (texts.empty() || !is_status_text(last_line(result.output))) {
      problems.push_back(exit + " without an error text");
    }
    for (const std::string& text : repeated) {
      problems.push_back(exit + ", '" + text + "' reported twice");
    }
    return problems;
  }

  // A run that did its job must leave one of the accepted stores (the
  // fault-free one first); any other run must report its failure, unless it
  // ends as a failure ignored by design does.
  static std::vector<std::string> check_outcome(
      const SweepCommand& command, const RunResult& result, StatusCode code,
      const std::vector<Outcome>& accepted) {
    bool answered = result.exit_code == command.done;
    if (answered && result.fired && command.fault_may_pass != nullptr &&
        !command.fault_may_pass(result.fault) &&
        !answer_stands_for_absence(result.fault, code)) {
      return {"exit code " + std::to_string(result.exit_code) +
              " answered, although a read it needed failed"};
    }
    for (const Outcome& outcome : accepted) {
      if (outcome.exit_code == result.exit_code &&
          outcome.dump == result.dump) {
        return {};
      }
    }
    if (!answered) return check_report(command, result);
    if (result.fired && (answer_stands_for_absence(result.fault, code) ||
                         (command.two_reads_as_absent &&
                          code == W32_ERROR_FILE_NOT_FOUND))) {
      return {};
    }

    std::vector<std::string> problems = {
        "exit code " + std::to_string(result.exit_code) +
        ", but the store differs from the fault-free run's:"};
    for (const std::string& line : differences(accepted[0].dump, result.dump)) {
      problems.push_back("    " + line);
    }
    return problems;
  }

  // How a run may end without a report: as the fault-free run does, and as
  // each failure ignored by design makes it end.
  static std::vector<Outcome> accepted_outcomes(const SweepCommand& command) {
    std::vector<Outcome> accepted;
    RunResult clean = run(command, nullptr, 0, 0);
    EXPECT_EQ(clean.exit_code, command.done) << command.label << "\n"
                                             << clean.output;
    EXPECT_EQ(check_leftovers(&clean), std::vector<std::string>())
        << command.label;
    accepted.push_back({clean.exit_code, clean.dump});
    for (const IgnoredFailure& ignored : command.ignored) {
      RunResult result =
          run(command, &ignored, 0, W32_ERROR_REGISTRY_IO_FAILED);
      EXPECT_TRUE(result.fired) << command.label << ": " << ignored.reason;
      EXPECT_EQ(reported_texts(result.output, nullptr).size(), 0u)
          << command.label << ": " << ignored.reason << "\n"
          << result.output;
      EXPECT_EQ(check_leftovers(&result), std::vector<std::string>())
          << command.label << ": " << ignored.reason;
      accepted.push_back({result.exit_code, result.dump});
    }
    return accepted;
  }

  static void sweep(const SweepCommand& command) {
    std::vector<Outcome> accepted = accepted_outcomes(command);
    for (StatusCode code : kSweepCodes) {
      int failures = 0;
      uint32_t n = 1;
      for (;; ++n) {
        RunResult result = run(command, nullptr, n, code);
        std::vector<std::string> problems = check_leftovers(&result);
        for (const std::string& problem :
             check_outcome(command, result, code, accepted)) {
          problems.push_back(problem);
        }
        if (!problems.empty() && failures++ < 10) {
          ADD_FAILURE() << report(command, n, code, result, problems);
        }
        if (!result.fired) break;
        ASSERT_LT(n, 20000u) << command.label;
      }
      RecordProperty(
          std::string(command.label) + "_calls_" + std::to_string(code),
          static_cast<int>(n - 1));
    }
  }

  static std::string report(const SweepCommand& command, uint32_t n,
                            StatusCode code, const RunResult& result,
                            const std::vector<std::string>& problems) {
    std::ostringstream text;
    text << "command";
    for (const std::string& word : command.words) text << " " << word;
    text << "\ncall " << n << " failed with " << code;
    if (result.fired) {
      text << ": " << fault_point_name(result.fault.point) << " '"
           << result.fault.subject << "'";
      if (result.fault.within != result.fault.point) {
        text << " within " << fault_point_name(result.fault.within) << " '"
             << result.fault.within_subject << "'";
      }
    } else {
      text << " (no fault fired)";
    }
    text << "\nexit code " << result.exit_code << ", output:\n"
         << result.output;
    for (const std::string& problem : problems) text << "\n  - " << problem;
    return text.str();
  }

  static std::string template_root_;
  static std::string run_root_;
  static std::string store_bytes_;
  ServicePauseFunction previous_pause_ = nullptr;
};

std::string FaultSweep::template_root_;
std::string FaultSweep::run_root_;
std::string FaultSweep::store_bytes_;

const SweepCommand& command_named(const char* label) {
  static const std::vector<SweepCommand> commands = sweep_commands();
  for (const SweepCommand& command : commands) {
    if (std::string(command.label) == label) return command;
  }
  return commands[0];
}

TEST_F(FaultSweep, Add) { sweep(command_named("a")); }
TEST_F(FaultSweep, Set) { sweep(command_named("s")); }
TEST_F(FaultSweep, SetQuietly) { sweep(command_named("sq")); }
TEST_F(FaultSweep, Remove) { sweep(command_named("r")); }
TEST_F(FaultSweep, ListPropertiesPurges) { sweep(command_named("p")); }
TEST_F(FaultSweep, MapSet) { sweep(command_named("ms")); }
TEST_F(FaultSweep, DesiredStateSet) { sweep(command_named("zebstate set")); }
TEST_F(FaultSweep, Stop) { sweep(command_named("stop")); }
TEST_F(FaultSweep, Restart) { sweep(command_named("restart")); }
TEST_F(FaultSweep, PlatformClass) { sweep(command_named("osver")); }

}  // namespace
