/* runexit.exe <codefile> <command line...>
 *
 * Runs the rest of its own raw command line, unchanged, as a child process
 * (CreateProcess with no application name), waits for it and writes the
 * child's exit code as unsigned decimal into <codefile>. With nothing after
 * <codefile>, the child's command line is the environment variable
 * RUNEXIT_CMDLINE, taken as it stands: wine's own argument passing quotes
 * every argument that holds blanks, so a raw line with its exact spacing and
 * quotes can only travel that way. The child inherits
 * the standard handles, so the harness captures its output by redirecting
 * runexit's own output to a file. Under Wine the status that Linux sees of a
 * Windows process keeps only 8 bits; this tool hands the tests all 32.
 *
 * runexit's own exit code: 0 when the child ran and its code was written,
 * 2 for a usage error, 3 when the child could not be started (the code file
 * then holds "start-failed <error>", which also goes to stderr), 4 when the
 * code file cannot be written.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

/* Returns the position just past the token that starts at p (a token ends at
 * unquoted white space; double quotes group), or p itself at the end. */
static const char *skip_token(const char *p) {
  int quoted = 0;
  while (*p != '\0') {
    if (*p == '"') {
      quoted = !quoted;
    } else if (!quoted && (*p == ' ' || *p == '\t')) {
      break;
    }
    p++;
  }
  return p;
}

/* Returns the first character at or after p that is not a blank or tab. */
static const char *skip_blanks(const char *p) {
  while (*p == ' ' || *p == '\t') p++;
  return p;
}

/* Copies the token at p into out (without surrounding quotes), at most cap-1
 * characters; returns 0 when the token does not fit. */
static int copy_token(const char *p, const char *end, char *out, size_t cap) {
  size_t n = 0;
  for (; p < end; p++) {
    if (*p == '"') continue;
    if (n + 1 >= cap) return 0;
    out[n++] = *p;
  }
  out[n] = '\0';
  return 1;
}

/* Writes text into the file at path; returns 0 on failure. */
static int write_code_file(const char *path, const char *text) {
  FILE *f = fopen(path, "wb");
  if (f == NULL) return 0;
  int ok = fputs(text, f) >= 0;
  if (fclose(f) != 0) ok = 0;
  return ok;
}

int main(void) {
  const char *line = GetCommandLineA();
  const char *p = skip_blanks(skip_token(skip_blanks(line)));
  const char *code_end = skip_token(p);
  char code_path[MAX_PATH];
  if (code_end == p || !copy_token(p, code_end, code_path, sizeof code_path)) {
    fputs("usage: runexit <codefile> <command line...>\n", stderr);
    return 2;
  }
  /* Skip exactly one separator so that the child's line keeps any further
   * leading blanks as typed. */
  const char *child = code_end;
  if (*child == ' ' || *child == '\t') child++;
  char env_line[32768];
  if (*skip_blanks(child) == '\0') {
    DWORD n =
        GetEnvironmentVariableA("RUNEXIT_CMDLINE", env_line, sizeof env_line);
    if (n == 0 || n >= sizeof env_line) {
      fputs("runexit: no command line given\n", stderr);
      return 2;
    }
    child = env_line;
  }

  size_t len = strlen(child);
  char *child_line = (char *)HeapAlloc(GetProcessHeap(), 0, len + 1);
  if (child_line == NULL) return 3;
  memcpy(child_line, child, len + 1);

  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  memset(&pi, 0, sizeof pi);
  BOOL started = CreateProcessA(NULL, child_line, NULL, NULL, TRUE, 0, NULL,
                                NULL, &si, &pi);
  HeapFree(GetProcessHeap(), 0, child_line);
  if (!started) {
    char text[64];
    snprintf(text, sizeof text, "start-failed %lu",
             (unsigned long)GetLastError());
    fprintf(stderr, "runexit: %s\n", text);
    write_code_file(code_path, text);
    return 3;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0xFFFFFFFFu;
  if (!GetExitCodeProcess(pi.hProcess, &code)) code = 0xFFFFFFFFu;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  char text[32];
  snprintf(text, sizeof text, "%lu", (unsigned long)code);
  return write_code_file(code_path, text) ? 0 : 4;
}
