/* hiddendesk.exe <command line...>
 *
 * Runs the rest of its own raw command line, unchanged, as a child process on
 * a desktop that nobody sees: a window station created without WSF_VISIBLE
 * (as session 0 is to the services and deployment agents that run as
 * SYSTEM) and a desktop in it, named to CreateProcess through
 * STARTUPINFO.lpDesktop. The child inherits the standard handles, so its
 * output lands where hiddendesk's own goes, and hiddendesk ends with the
 * child's exit code, all 32 bits; run it through runexit.exe to read them.
 *
 * hiddendesk's own failures, each with one line on stderr: 0xFFFFFF02 for a
 * usage error, 0xFFFFFF03 when the child could not be started, 0xFFFFFF05
 * when the window station or the desktop could not be made.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#define STATION_NAME "ZebHiddenStation"
#define DESKTOP_NAME "ZebHiddenDesktop"

/* Returns the position just past the program token at the start of line
 * (double quotes group), then past one separating blank or tab. */
static const char *after_program(const char *line) {
  int quoted = 0;
  while (*line == ' ' || *line == '\t') line++;
  for (; *line != '\0'; line++) {
    if (*line == '"') {
      quoted = !quoted;
    } else if (!quoted && (*line == ' ' || *line == '\t')) {
      return line + 1;
    }
  }
  return line;
}

static void say(const char *what) {
  fprintf(stderr, "hiddendesk: %s failed with %lu\n", what,
          (unsigned long)GetLastError());
}

/* Starts line on station\desktop and waits for it; returns its exit code. */
static DWORD run_on_desktop(const char *line) {
  size_t len = strlen(line);
  char *child_line = (char *)HeapAlloc(GetProcessHeap(), 0, len + 1);
  if (child_line == NULL) return 0xFFFFFF03u;
  memcpy(child_line, line, len + 1);
  char desktop[] = STATION_NAME "\\" DESKTOP_NAME;
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  si.lpDesktop = desktop;
  memset(&pi, 0, sizeof pi);
  BOOL started = CreateProcessA(NULL, child_line, NULL, NULL, TRUE, 0, NULL,
                                NULL, &si, &pi);
  HeapFree(GetProcessHeap(), 0, child_line);
  if (!started) {
    say("CreateProcess");
    return 0xFFFFFF03u;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0xFFFFFFFFu;
  if (!GetExitCodeProcess(pi.hProcess, &code)) code = 0xFFFFFFFFu;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

int main(void) {
  const char *child = after_program(GetCommandLineA());
  if (*child == '\0') {
    fputs("usage: hiddendesk <command line...>\n", stderr);
    return (int)0xFFFFFF02u;
  }
  /* Flags 0: no WSF_VISIBLE. */
  HWINSTA station = CreateWindowStationA(STATION_NAME, 0, GENERIC_ALL, NULL);
  if (station == NULL) {
    say("CreateWindowStation");
    return (int)0xFFFFFF05u;
  }
  HWINSTA own_station = GetProcessWindowStation();
  DWORD code = 0xFFFFFF05u;
  /* CreateDesktop makes its desktop on the caller's window station. */
  if (!SetProcessWindowStation(station)) {
    say("SetProcessWindowStation");
  } else {
    HDESK desktop =
        CreateDesktopA(DESKTOP_NAME, NULL, NULL, 0, GENERIC_ALL, NULL);
    SetProcessWindowStation(own_station);
    if (desktop == NULL) {
      say("CreateDesktop");
    } else {
      fflush(stdout);
      code = run_on_desktop(child);
      CloseDesktop(desktop);
    }
  }
  CloseWindowStation(station);
  return (int)code;
}
