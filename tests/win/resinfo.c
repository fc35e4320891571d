/* resinfo.exe FILE: prints the version record and the manifest of FILE.
 *
 * Output, one item a line:
 *   fixed: <file version a.b.c.d> <product version a.b.c.d>
 *   <name>: <text>   for ProductName, FileVersion and ProductVersion of the
 *                    first translation's StringFileInfo
 *   manifest:        followed by the text of the RT_MANIFEST resource 1
 * The version test reads these back to check what CMake put into zebcfg.exe.
 *
 * Exit code: 0 when both were found, 1 when either is missing, 2 for a usage
 * error.
 */
#include <stdio.h>
#include <windows.h>

static const char *const kStrings[] = {"ProductName", "FileVersion",
                                       "ProductVersion"};

/* Prints the version record of path; returns 0 when it has none. */
static int print_version(const char *path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return 0;
  char *data = (char *)HeapAlloc(GetProcessHeap(), 0, size);
  if (data == NULL) return 0;
  int ok = GetFileVersionInfoA(path, 0, size, data);
  VS_FIXEDFILEINFO *fixed = NULL;
  UINT length = 0;
  if (ok && VerQueryValueA(data, "\\", (void **)&fixed, &length) &&
      length >= sizeof *fixed) {
    printf("fixed: %lu.%lu.%lu.%lu %lu.%lu.%lu.%lu\n",
           (unsigned long)HIWORD(fixed->dwFileVersionMS),
           (unsigned long)LOWORD(fixed->dwFileVersionMS),
           (unsigned long)HIWORD(fixed->dwFileVersionLS),
           (unsigned long)LOWORD(fixed->dwFileVersionLS),
           (unsigned long)HIWORD(fixed->dwProductVersionMS),
           (unsigned long)LOWORD(fixed->dwProductVersionMS),
           (unsigned long)HIWORD(fixed->dwProductVersionLS),
           (unsigned long)LOWORD(fixed->dwProductVersionLS));
  }
  WORD *translation = NULL;
  if (ok &&
      VerQueryValueA(data, "\\VarFileInfo\\Translation", (void **)&translation,
                     &length) &&
      length >= 4) {
    for (size_t i = 0; i < sizeof kStrings / sizeof kStrings[0]; i++) {
      char query[128];
      char *text = NULL;
      snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s",
               translation[0], translation[1], kStrings[i]);
      if (VerQueryValueA(data, query, (void **)&text, &length)) {
        printf("%s: %s\n", kStrings[i], text);
      }
    }
  }
  HeapFree(GetProcessHeap(), 0, data);
  return ok;
}

/* Prints the manifest of path; returns 0 when it has none. */
static int print_manifest(const char *path) {
  HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (module == NULL) return 0;
  HRSRC found =
      FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  HGLOBAL loaded = found != NULL ? LoadResource(module, found) : NULL;
  const char *text = loaded != NULL ? (const char *)LockResource(loaded) : NULL;
  if (text != NULL) {
    printf("manifest:\n");
    fwrite(text, 1, SizeofResource(module, found), stdout);
    printf("\n");
  }
  FreeLibrary(module);
  return text != NULL;
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fputs("usage: resinfo FILE\n", stderr);
    return 2;
  }
  int version = print_version(argv[1]);
  int manifest = print_manifest(argv[1]);
  fflush(stdout);
  return version && manifest ? 0 : 1;
}
