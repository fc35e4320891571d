/* testsvc.exe: a Win32 service of the end-to-end tests, and the small service
 * manager client that sets it up.
 *
 * Service mode (the service manager starts the program with the command line
 * of its registered binary path; StartService passes no arguments):
 *
 *   testsvc.exe [--stop-ms N] [--refuse-stop] [--never-stop] [--log PATH]
 *
 *   --stop-ms N     after a stop request, report STOP_PENDING for N ms, then
 *                   STOPPED (default 0).
 *   --refuse-stop   leave SERVICE_ACCEPT_STOP out of the accepted controls, so
 *                   that ControlService(STOP) fails with 1052.
 *   --never-stop    answer a stop request with STOP_PENDING and stay there.
 *   --log PATH      append one line per event to PATH: "<name> start",
 *                   "<name> stop-request", "<name> stopped".
 *
 *   Whatever the mode, the user control 200 or the named event
 *   "Global\testsvc-kill-<name>" ends the service at once.
 *
 * Client mode (exit code 0 on success, else the Win32 error code; under Wine
 * the Linux side sees its low 8 bits, so the code is also written to stdout):
 *
 *   testsvc.exe install NAME [service arguments...]   create (or re-create)
 *   testsvc.exe remove NAME       end it if it runs, then delete it
 *   testsvc.exe start NAME        start and wait until it runs
 *   testsvc.exe kill NAME         end it whatever its mode, wait until stopped
 *   testsvc.exe state NAME        print the current state (1 stopped, 4
 * running)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#define KILL_CONTROL 200
#define CLIENT_WAIT_MS 15000

/* ---- service mode ---- */

/* The name of the event that ends the service called name. */
static void kill_event_name(const char *name, char *out, size_t cap) {
  snprintf(out, cap, "Global\\testsvc-kill-%s", name);
}

static SERVICE_STATUS_HANDLE g_status_handle;
static SERVICE_STATUS g_status;
static HANDLE g_stop_event;
static HANDLE g_kill_event;
static DWORD g_stop_ms;
static int g_refuse_stop;
static int g_never_stop;
static char g_log_path[MAX_PATH];
static char g_name[256];

/* Appends "<name> <event>" as one line to the log file, if one was given. */
static void log_event(const char *event) {
  if (g_log_path[0] == '\0') return;
  for (int attempt = 0; attempt < 50; attempt++) {
    HANDLE file = CreateFileA(g_log_path, FILE_APPEND_DATA, FILE_SHARE_READ,
                              NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
      char line[400];
      int n = snprintf(line, sizeof line, "%s %s\r\n", g_name, event);
      DWORD written = 0;
      if (n > 0) WriteFile(file, line, (DWORD)n, &written, NULL);
      CloseHandle(file);
      return;
    }
    Sleep(20);
  }
}

/* Reports a state to the service manager. */
static void report_state(DWORD state, DWORD wait_hint) {
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwControlsAccepted =
      (state == SERVICE_RUNNING && !g_refuse_stop) ? SERVICE_ACCEPT_STOP : 0;
  g_status.dwWin32ExitCode = NO_ERROR;
  g_status.dwWaitHint = wait_hint;
  if (state == SERVICE_RUNNING || state == SERVICE_STOPPED) {
    g_status.dwCheckPoint = 0;
  } else {
    g_status.dwCheckPoint++;
  }
  SetServiceStatus(g_status_handle, &g_status);
}

static DWORD WINAPI control_handler(DWORD control, DWORD type, LPVOID data,
                                    LPVOID context) {
  (void)type;
  (void)data;
  (void)context;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      if (g_refuse_stop) return ERROR_INVALID_SERVICE_CONTROL;
      log_event("stop-request");
      SetEvent(g_stop_event);
      return NO_ERROR;
    case KILL_CONTROL:
      SetEvent(g_kill_event);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

/* Runs until stopped; the stop follows the mode given on the command line. */
static void WINAPI service_main(DWORD argc, LPSTR *argv) {
  if (argc > 0 && argv[0] != NULL) {
    lstrcpynA(g_name, argv[0], sizeof g_name);
  }
  char event_name[300];
  kill_event_name(g_name, event_name, sizeof event_name);
  g_kill_event = CreateEventA(NULL, TRUE, FALSE, event_name);
  if (g_kill_event == NULL) return;
  g_status_handle =
      RegisterServiceCtrlHandlerExA(g_name, control_handler, NULL);
  if (g_status_handle == NULL) return;
  /* Logged first, so that the order of starts shows in the log even when
   * the service manager answers before the service reports RUNNING. */
  log_event("start");
  report_state(SERVICE_START_PENDING, 3000);
  report_state(SERVICE_RUNNING, 0);

  HANDLE events[2] = {g_stop_event, g_kill_event};
  DWORD which = WaitForMultipleObjects(2, events, FALSE, INFINITE);
  if (which == WAIT_OBJECT_0) {
    if (g_never_stop) {
      for (;;) {
        report_state(SERVICE_STOP_PENDING, 1000);
        if (WaitForSingleObject(g_kill_event, 500) == WAIT_OBJECT_0) break;
      }
    } else {
      DWORD begin = GetTickCount();
      while (GetTickCount() - begin < g_stop_ms) {
        report_state(SERVICE_STOP_PENDING, 1000);
        if (WaitForSingleObject(g_kill_event, 200) == WAIT_OBJECT_0) break;
      }
    }
  }
  log_event("stopped");
  report_state(SERVICE_STOPPED, 0);
}

/* Reads the service options from argv; returns 0 on an unknown option. */
static int parse_service_options(int argc, char **argv) {
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--stop-ms") == 0 && i + 1 < argc) {
      g_stop_ms = (DWORD)strtoul(argv[++i], NULL, 10);
    } else if (strcmp(argv[i], "--refuse-stop") == 0) {
      g_refuse_stop = 1;
    } else if (strcmp(argv[i], "--never-stop") == 0) {
      g_never_stop = 1;
    } else if (strcmp(argv[i], "--log") == 0 && i + 1 < argc) {
      lstrcpynA(g_log_path, argv[++i], sizeof g_log_path);
    } else {
      return 0;
    }
  }
  return 1;
}

static int run_service(int argc, char **argv) {
  if (!parse_service_options(argc, argv)) {
    fprintf(stderr, "testsvc: unknown service option\n");
    return 2;
  }
  g_stop_event = CreateEventA(NULL, TRUE, FALSE, NULL);
  SERVICE_TABLE_ENTRYA table[2];
  table[0].lpServiceName = (LPSTR) "";
  table[0].lpServiceProc = service_main;
  table[1].lpServiceName = NULL;
  table[1].lpServiceProc = NULL;
  if (!StartServiceCtrlDispatcherA(table)) return (int)GetLastError();
  return 0;
}

/* ---- client mode ---- */

/* Prints the code and returns it as the exit code. */
static int finish(DWORD code) {
  printf("%lu\n", (unsigned long)code);
  fflush(stdout);
  return (int)code;
}

/* The current state of service, or 0 when it cannot be read. */
static DWORD query_state(SC_HANDLE service) {
  SERVICE_STATUS status;
  memset(&status, 0, sizeof status);
  if (!QueryServiceStatus(service, &status)) return 0;
  return status.dwCurrentState;
}

/* Polls until the service reaches state; returns 0 when it does in time. */
static DWORD wait_for_state(SC_HANDLE service, DWORD state) {
  for (DWORD waited = 0; waited < CLIENT_WAIT_MS; waited += 50) {
    if (query_state(service) == state) return 0;
    Sleep(50);
  }
  return query_state(service) == state ? 0 : ERROR_SERVICE_REQUEST_TIMEOUT;
}

/* Ends a running service: the kill control first, the service's own kill
 * event when the control cannot be delivered (a service in STOP_PENDING
 * takes no more controls). */
static DWORD kill_service(SC_HANDLE service, const char *name) {
  if (query_state(service) == SERVICE_STOPPED) return 0;
  SERVICE_STATUS status;
  if (ControlService(service, KILL_CONTROL, &status) &&
      wait_for_state(service, SERVICE_STOPPED) == 0) {
    return 0;
  }
  char event_name[300];
  kill_event_name(name, event_name, sizeof event_name);
  HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, event_name);
  if (event != NULL) {
    SetEvent(event);
    CloseHandle(event);
  }
  return wait_for_state(service, SERVICE_STOPPED);
}

/* Builds the quoted path of this program followed by args. */
static int build_binary_path(int argc, char **argv, char *out, size_t cap) {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, self, sizeof self);
  if (n == 0 || n >= sizeof self) return 0;
  int used = snprintf(out, cap, "\"%s\"", self);
  for (int i = 0; i < argc; i++) {
    if (used < 0 || (size_t)used >= cap) return 0;
    used += snprintf(out + used, cap - (size_t)used, " %s", argv[i]);
  }
  return used >= 0 && (size_t)used < cap;
}

static DWORD client_remove(SC_HANDLE manager, const char *name) {
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
  if (service == NULL) {
    DWORD code = GetLastError();
    return code == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : code;
  }
  DWORD code = kill_service(service, name);
  if (!DeleteService(service) && code == 0) code = GetLastError();
  CloseServiceHandle(service);
  return code;
}

static DWORD client_install(SC_HANDLE manager, const char *name, int argc,
                            char **argv) {
  char path[2048];
  if (!build_binary_path(argc, argv, path, sizeof path)) {
    return ERROR_INSUFFICIENT_BUFFER;
  }
  DWORD code = client_remove(manager, name);
  if (code != 0) return code;
  SC_HANDLE service = NULL;
  for (int attempt = 0; attempt < 100 && service == NULL; attempt++) {
    service = CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                             SERVICE_ERROR_IGNORE, path, NULL, NULL, NULL, NULL,
                             NULL);
    if (service == NULL) {
      code = GetLastError();
      /* A deleted service lingers until its last handle closes. */
      if (code != ERROR_SERVICE_MARKED_FOR_DELETE &&
          code != ERROR_SERVICE_EXISTS) {
        return code;
      }
      Sleep(50);
    }
  }
  if (service == NULL) return code;
  CloseServiceHandle(service);
  return 0;
}

/* Starts the service unless it already runs, then waits until it runs. */
static DWORD client_start(SC_HANDLE manager, const char *name) {
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
  if (service == NULL) return GetLastError();
  DWORD code = 0;
  if (!StartServiceA(service, 0, NULL)) code = GetLastError();
  if (code == 0 || code == ERROR_SERVICE_ALREADY_RUNNING) {
    code = wait_for_state(service, SERVICE_RUNNING);
  }
  CloseServiceHandle(service);
  return code;
}

static DWORD client_kill(SC_HANDLE manager, const char *name) {
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
  if (service == NULL) return GetLastError();
  DWORD code = kill_service(service, name);
  CloseServiceHandle(service);
  return code;
}

static DWORD client_state(SC_HANDLE manager, const char *name) {
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
  if (service == NULL) return GetLastError();
  DWORD state = query_state(service);
  CloseServiceHandle(service);
  printf("%s state %lu\n", name, (unsigned long)state);
  return state == 0 ? ERROR_GEN_FAILURE : 0;
}

/* Applies the verb to each name in turn; the first failure ends the run. */
static DWORD client_each(SC_HANDLE manager, const char *verb, int count,
                         char **names) {
  for (int i = 0; i < count; i++) {
    DWORD code;
    if (strcmp(verb, "remove") == 0) {
      code = client_remove(manager, names[i]);
    } else if (strcmp(verb, "start") == 0) {
      code = client_start(manager, names[i]);
    } else if (strcmp(verb, "kill") == 0) {
      code = client_kill(manager, names[i]);
    } else {
      code = client_state(manager, names[i]);
    }
    if (code != 0) {
      printf("%s failed\n", names[i]);
      return code;
    }
  }
  return 0;
}

static int run_client(int argc, char **argv) {
  const char *verb = argv[1];
  SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (manager == NULL) return finish(GetLastError());
  DWORD code;
  if (strcmp(verb, "install") == 0) {
    code = client_install(manager, argv[2], argc - 3, argv + 3);
  } else {
    code = client_each(manager, verb, argc - 2, argv + 2);
  }
  CloseServiceHandle(manager);
  return finish(code);
}

static int is_client_verb(const char *word) {
  static const char *const verbs[] = {"install", "remove", "start", "kill",
                                      "state"};
  for (size_t i = 0; i < sizeof verbs / sizeof verbs[0]; i++) {
    if (strcmp(word, verbs[i]) == 0) return 1;
  }
  return 0;
}

int main(int argc, char **argv) {
  if (argc >= 3 && is_client_verb(argv[1])) return run_client(argc, argv);
  return run_service(argc, argv);
}
