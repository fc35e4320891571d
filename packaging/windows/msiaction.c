/* msiaction.dll: the MSI's custom actions for a site's configuration
 * document (the ZEBCFG_CONFIG property, the full path of a zebstate
 * desired-state document), applied with the zebstate.exe that the package
 * installs.
 *
 * CheckConfig runs immediately, before anything is changed (before the
 * older version of a major upgrade is removed): it fails the installation
 * when the path is not a full path or the document cannot be read, so that
 * a mistyped path changes nothing. A remembered document (an upgrade or a
 * repair without ZEBCFG_CONFIG: the property ConfigOrigin is "remembered")
 * that is gone is not applied: the action sets ConfigGone and the
 * installation goes on.
 *
 * ApplyConfig runs deferred, in the system context, after the INF's
 * [DefaultInstall]. Its CustomActionData is
 *
 *     <path of zebstate.exe>|<ConfigOrigin>|<path of the document>
 *
 * It runs "zebstate.exe set --input-file <document>" and writes each line
 * the program prints, on standard output and standard error, into the
 * installation log (an exe custom action's output reaches no log); it fails
 * the installation when zebstate fails.
 *
 * Every line either action logs begins with "ZEBCFG_CONFIG: ". The file is
 * divided into the log, the properties and paths, the child process and its
 * output, and the two entry points. It uses the Win32 API and msi.dll only.
 */
#include <windows.h>
/* msi.h needs windows.h first. */
#include <msi.h>
#include <msiquery.h>

#define LOG_PREFIX L"ZEBCFG_CONFIG: "
#define ORIGIN_REMEMBERED L"remembered"

/* ----- the log ----- */

/* Returns the length of text in characters. */
static size_t text_length(const wchar_t *text) {
  size_t n = 0;
  while (text[n] != L'\0') n++;
  return n;
}

/* Writes one informational line into the installation log: LOG_PREFIX
 * followed by the pieces. The line is the record's field 0, which the
 * installer formats, with each bracket escaped ([\[] and [\]]) so that the
 * text reaches the log as it stands (Wine's msi formats a field's value
 * given through [1] too). */
static void log_line(MSIHANDLE install, const wchar_t *const *pieces,
                     size_t count) {
  size_t length = text_length(LOG_PREFIX) + 1;
  for (size_t i = 0; i < count; i++) length += 4 * text_length(pieces[i]);
  wchar_t *line =
      (wchar_t *)HeapAlloc(GetProcessHeap(), 0, length * sizeof(wchar_t));
  MSIHANDLE record = MsiCreateRecord(0);
  if (line != NULL && record != 0) {
    lstrcpyW(line, LOG_PREFIX);
    wchar_t *end = line + text_length(line);
    for (size_t i = 0; i < count; i++) {
      for (const wchar_t *c = pieces[i]; *c != L'\0'; c++) {
        if (*c == L'[' || *c == L']') {
          *end++ = L'[';
          *end++ = L'\\';
          *end++ = *c;
          *end++ = L']';
        } else {
          *end++ = *c;
        }
      }
    }
    *end = L'\0';
    MsiRecordSetStringW(record, 0, line);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  }
  if (record != 0) MsiCloseHandle(record);
  if (line != NULL) HeapFree(GetProcessHeap(), 0, line);
}

/* The decimal text of n, in the buffer of 11 characters it returns. */
static const wchar_t *decimal(DWORD n, wchar_t text[11]) {
  wchar_t digits[11];
  size_t count = 0;
  do {
    digits[count++] = (wchar_t)(L'0' + n % 10);
    n /= 10;
  } while (n != 0);
  for (size_t i = 0; i < count; i++) text[i] = digits[count - 1 - i];
  text[count] = L'\0';
  return text;
}

/* ----- the properties and paths ----- */

/* Reads the property name into *value (released with HeapFree); returns
 * ERROR_SUCCESS or the installer's error. */
static UINT read_property(MSIHANDLE install, const wchar_t *name,
                          wchar_t **value) {
  DWORD length = 0;
  UINT status = MsiGetPropertyW(install, name, L"", &length);
  if (status != ERROR_MORE_DATA && status != ERROR_SUCCESS) return status;
  length++;
  wchar_t *text =
      (wchar_t *)HeapAlloc(GetProcessHeap(), 0, length * sizeof(wchar_t));
  if (text == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  status = MsiGetPropertyW(install, name, text, &length);
  if (status != ERROR_SUCCESS) {
    HeapFree(GetProcessHeap(), 0, text);
    return status;
  }
  *value = text;
  return ERROR_SUCCESS;
}

/* The three fields of ApplyConfig's CustomActionData. */
typedef struct {
  wchar_t *data;           /* the whole text, owned; the fields point in it */
  const wchar_t *program;  /* the installed zebstate.exe */
  const wchar_t *origin;   /* ORIGIN_REMEMBERED, or empty */
  const wchar_t *document; /* the configuration document */
} ActionData;

/* Reads and splits the CustomActionData into *out; returns ERROR_SUCCESS, or
 * an error when it cannot be read or has fewer than three fields. On success
 * out->data must be released with HeapFree. */
static UINT read_action_data(MSIHANDLE install, ActionData *out) {
  wchar_t *data = NULL;
  UINT status = read_property(install, L"CustomActionData", &data);
  if (status != ERROR_SUCCESS) return status;
  wchar_t *fields[3] = {data, NULL, NULL};
  for (int i = 1; status == ERROR_SUCCESS && i < 3; i++) {
    wchar_t *bar = fields[i - 1];
    while (*bar != L'\0' && *bar != L'|') bar++;
    if (*bar == L'\0') {
      status = ERROR_INVALID_DATA;
    } else {
      *bar = L'\0';
      fields[i] = bar + 1;
    }
  }
  if (status != ERROR_SUCCESS) {
    HeapFree(GetProcessHeap(), 0, data);
    return status;
  }
  out->data = data;
  out->program = fields[0];
  out->origin = fields[1];
  out->document = fields[2];
  return ERROR_SUCCESS;
}

/* The words that name the document in the log. */
static const wchar_t *document_words(const wchar_t *origin) {
  return lstrcmpW(origin, ORIGIN_REMEMBERED) == 0
             ? L"the remembered configuration document "
             : L"the configuration document ";
}

/* True when path is a full path: a drive and a backslash, or a UNC name. */
static BOOL is_full_path(const wchar_t *path) {
  wchar_t drive = path[0] | 0x20;
  if (drive >= L'a' && drive <= L'z' && path[1] == L':' && path[2] == L'\\') {
    return TRUE;
  }
  return path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\0';
}

/* ERROR_SUCCESS when the file at path can be opened for reading, else the
 * error that kept it from being opened. */
static DWORD read_error(const wchar_t *path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(file);
  return ERROR_SUCCESS;
}

/* True when error says that a path does not exist: no such file, folder,
 * share or server. */
static BOOL is_missing_error(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return TRUE;
    default:
      return FALSE;
  }
}

/* ----- the child process and its output ----- */

/* Lines read from the child, split and logged as they come. */
typedef struct {
  MSIHANDLE install;
  char *line;          /* the line being read, UTF-8, not terminated */
  size_t length;       /* bytes in line */
  size_t capacity;     /* bytes line can hold */
  wchar_t *last_error; /* the last line that reported an error, or NULL */
} OutputLines;

/* The UTF-16 text of the UTF-8 bytes, terminated, or NULL when no memory. */
static wchar_t *wide_text(const char *bytes, size_t length) {
  int count = length == 0 ? 0
                          : MultiByteToWideChar(CP_UTF8, 0, bytes, (int)length,
                                                NULL, 0);
  wchar_t *text = (wchar_t *)HeapAlloc(GetProcessHeap(), 0,
                                       ((size_t)count + 1) * sizeof(wchar_t));
  if (text == NULL) return NULL;
  if (count > 0) {
    MultiByteToWideChar(CP_UTF8, 0, bytes, (int)length, text, count);
  }
  text[count] = L'\0';
  return text;
}

/* True when text begins with prefix. */
static BOOL starts_with(const wchar_t *text, const wchar_t *prefix) {
  while (*prefix != L'\0' && *text == *prefix) {
    text++;
    prefix++;
  }
  return *prefix == L'\0';
}

/* Logs the line read so far (without its line end) and starts a new one;
 * keeps it as the last error when it is zebstate's error line. */
static void finish_line(OutputLines *lines) {
  size_t length = lines->length;
  if (length > 0 && lines->line[length - 1] == '\r') length--;
  lines->length = 0;
  if (length == 0) return;
  wchar_t *text = wide_text(lines->line, length);
  if (text == NULL) return;
  const wchar_t *pieces[] = {L"zebstate: ", text};
  log_line(lines->install, pieces, 2);
  if (starts_with(text, L"{\"error\"")) {
    if (lines->last_error != NULL) {
      HeapFree(GetProcessHeap(), 0, lines->last_error);
    }
    lines->last_error = text;
  } else {
    HeapFree(GetProcessHeap(), 0, text);
  }
}

/* Appends one byte to the line being read; a byte that finds no room is
 * dropped. */
static void add_byte(OutputLines *lines, char byte) {
  if (lines->length == lines->capacity) {
    size_t capacity = lines->capacity == 0 ? 1024 : lines->capacity * 2;
    char *grown =
        lines->line == NULL
            ? (char *)HeapAlloc(GetProcessHeap(), 0, capacity)
            : (char *)HeapReAlloc(GetProcessHeap(), 0, lines->line, capacity);
    if (grown == NULL) return;
    lines->line = grown;
    lines->capacity = capacity;
  }
  lines->line[lines->length++] = byte;
}

/* Reads the pipe until every writer has closed it, logging each line. */
static void log_output(HANDLE pipe, OutputLines *lines) {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, NULL) && got > 0) {
    for (DWORD i = 0; i < got; i++) {
      if (buffer[i] == '\n') {
        finish_line(lines);
      } else {
        add_byte(lines, buffer[i]);
      }
    }
  }
  finish_line(lines);
}

/* The command line "<program>" set --input-file "<document>", or NULL when
 * no memory. */
static wchar_t *zebstate_command(const ActionData *action) {
  const wchar_t *const pieces[] = {L"\"", action->program,
                                   L"\" set --input-file \"", action->document,
                                   L"\""};
  size_t length = 1;
  for (size_t i = 0; i < 5; i++) length += text_length(pieces[i]);
  wchar_t *line =
      (wchar_t *)HeapAlloc(GetProcessHeap(), 0, length * sizeof(wchar_t));
  if (line == NULL) return NULL;
  line[0] = L'\0';
  for (size_t i = 0; i < 5; i++) lstrcatW(line, pieces[i]);
  return line;
}

/* Starts the command line with its standard output and error on the write
 * end of a pipe and its input on NUL; fills *process and *read_end (both to
 * be closed) and returns ERROR_SUCCESS, or the error of the step that
 * failed. */
static DWORD start_child(wchar_t *command, HANDLE *process, HANDLE *read_end) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
  HANDLE write_end = NULL;
  if (!CreatePipe(read_end, &write_end, &inherit, 0)) return GetLastError();
  SetHandleInformation(*read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ, &inherit,
                             OPEN_EXISTING, 0, NULL);
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION child;
  DWORD error = ERROR_SUCCESS;
  if (CreateProcessW(NULL, command, NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL,
                     NULL, &startup, &child)) {
    CloseHandle(child.hThread);
    *process = child.hProcess;
  } else {
    error = GetLastError();
    CloseHandle(*read_end);
    *read_end = NULL;
  }
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  CloseHandle(write_end);
  return error;
}

/* Runs zebstate set on the document, logging its output; fills *exit_code
 * and *last_error (zebstate's last error line or NULL, to be released) and
 * returns ERROR_SUCCESS when it ran, or the error that kept it from
 * running. */
static DWORD run_zebstate(MSIHANDLE install, const ActionData *action,
                          DWORD *exit_code, wchar_t **last_error) {
  wchar_t *command = zebstate_command(action);
  if (command == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  HANDLE process = NULL;
  HANDLE output = NULL;
  DWORD error = start_child(command, &process, &output);
  HeapFree(GetProcessHeap(), 0, command);
  if (error != ERROR_SUCCESS) return error;
  OutputLines lines = {install, NULL, 0, 0, NULL};
  log_output(output, &lines);
  CloseHandle(output);
  WaitForSingleObject(process, INFINITE);
  if (!GetExitCodeProcess(process, exit_code)) error = GetLastError();
  CloseHandle(process);
  if (lines.line != NULL) HeapFree(GetProcessHeap(), 0, lines.line);
  *last_error = lines.last_error;
  return error;
}

/* ----- the entry points ----- */

/* Checks the document that ZEBCFG_CONFIG names, as the installation's origin
 * says it came; logs and returns ERROR_INSTALL_FAILURE when the installation
 * must stop, else ERROR_SUCCESS (with ConfigGone set for a remembered
 * document that is gone). */
static UINT check_document(MSIHANDLE install, const wchar_t *document,
                           const wchar_t *origin) {
  wchar_t number[11];
  if (!is_full_path(document)) {
    const wchar_t *pieces[] = {L"\"", document,
                               L"\" is not a full path: the configuration "
                               L"document must be given by its full path, "
                               L"such as C:\\zeb\\site.json or "
                               L"\\\\server\\share\\site.json"};
    log_line(install, pieces, 3);
    return ERROR_INSTALL_FAILURE;
  }
  DWORD error = read_error(document);
  if (error == ERROR_SUCCESS) return ERROR_SUCCESS;
  const wchar_t *what = document_words(origin);
  if (lstrcmpW(origin, ORIGIN_REMEMBERED) == 0 && is_missing_error(error)) {
    const wchar_t *pieces[] = {what, document, L" is gone (error ",
                               decimal(error, number),
                               L"): it is not applied again, and the devices "
                               L"stay as they are"};
    log_line(install, pieces, 5);
    return MsiSetPropertyW(install, L"ConfigGone", L"1") == ERROR_SUCCESS
               ? ERROR_SUCCESS
               : ERROR_INSTALL_FAILURE;
  }
  const wchar_t *pieces[] = {what, document, L" cannot be read (error ",
                             decimal(error, number), L"): nothing was changed"};
  log_line(install, pieces, 5);
  return ERROR_INSTALL_FAILURE;
}

/* The immediate custom action: checks the document of ZEBCFG_CONFIG before
 * the installation changes anything; returns ERROR_SUCCESS, or
 * ERROR_INSTALL_FAILURE (the installation ends with 1603). */
__declspec(dllexport) UINT __stdcall CheckConfig(MSIHANDLE install) {
  wchar_t *document = NULL;
  wchar_t *origin = NULL;
  UINT status = read_property(install, L"ZEBCFG_CONFIG", &document);
  if (status == ERROR_SUCCESS) {
    status = read_property(install, L"ConfigOrigin", &origin);
  }
  if (status == ERROR_SUCCESS) {
    status = check_document(install, document, origin);
  } else {
    wchar_t number[11];
    const wchar_t *pieces[] = {L"the property cannot be read (error ",
                               decimal(status, number), L")"};
    log_line(install, pieces, 3);
    status = ERROR_INSTALL_FAILURE;
  }
  if (origin != NULL) HeapFree(GetProcessHeap(), 0, origin);
  if (document != NULL) HeapFree(GetProcessHeap(), 0, document);
  return status;
}

/* Applies the document of the action data with zebstate and logs what
 * happened; returns ERROR_SUCCESS, or ERROR_INSTALL_FAILURE when the
 * document was not applied. */
static UINT apply_document(MSIHANDLE install, const ActionData *action) {
  const wchar_t *what = document_words(action->origin);
  wchar_t number[11];
  const wchar_t *start[] = {L"applying ", what, action->document,
                            L" with zebstate set"};
  log_line(install, start, 4);
  DWORD exit_code = 0;
  wchar_t *last_error = NULL;
  DWORD error = run_zebstate(install, action, &exit_code, &last_error);
  UINT status = ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) {
    const wchar_t *pieces[] = {what,
                               action->document,
                               L" was not applied: ",
                               action->program,
                               L" could not be run (error ",
                               decimal(error, number),
                               L")"};
    log_line(install, pieces, 7);
    status = ERROR_INSTALL_FAILURE;
  } else if (exit_code != 0) {
    const wchar_t *pieces[] = {what,
                               action->document,
                               L" was not applied (zebstate exit code ",
                               decimal(exit_code, number),
                               L")",
                               last_error != NULL ? L": " : L"",
                               last_error != NULL ? last_error : L""};
    log_line(install, pieces, 7);
    status = ERROR_INSTALL_FAILURE;
  } else {
    const wchar_t *pieces[] = {what, action->document, L" was applied"};
    log_line(install, pieces, 3);
  }
  if (last_error != NULL) HeapFree(GetProcessHeap(), 0, last_error);
  return status;
}

/* The deferred custom action: applies the configuration document named by
 * the CustomActionData; returns ERROR_SUCCESS, or ERROR_INSTALL_FAILURE
 * (the installation ends with 1603) when it was not applied. */
__declspec(dllexport) UINT __stdcall ApplyConfig(MSIHANDLE install) {
  ActionData action;
  UINT status = read_action_data(install, &action);
  if (status != ERROR_SUCCESS) {
    wchar_t number[11];
    const wchar_t *pieces[] = {L"the action data cannot be read (error ",
                               decimal(status, number), L")"};
    log_line(install, pieces, 3);
    return ERROR_INSTALL_FAILURE;
  }
  status = apply_document(install, &action);
  HeapFree(GetProcessHeap(), 0, action.data);
  return status;
}
