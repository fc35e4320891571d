/* wintext.exe TITLE: prints the texts of a top-level window and its controls.
 *
 * Finds the top-level window whose title is TITLE and writes one line per
 * window: "window: <title>", then "<class>: <text>" for each child control in
 * creation order. The dialog tests read a message box this way, since its
 * message is a static control that X11 tools cannot see.
 *
 * Exit code: 0 when the window was found, 1 when it was not, 2 for a usage
 * error.
 */
#include <stdio.h>
#include <windows.h>

static BOOL CALLBACK print_child(HWND child, LPARAM context) {
  (void)context;
  char class_name[128];
  char text[1024];
  if (GetClassNameA(child, class_name, sizeof class_name) == 0) {
    class_name[0] = '\0';
  }
  /* WM_GETTEXT reads the text of a control in another process as well. */
  SendMessageA(child, WM_GETTEXT, sizeof text, (LPARAM)text);
  text[sizeof text - 1] = '\0';
  printf("%s: %s\n", class_name, text);
  return TRUE;
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fputs("usage: wintext TITLE\n", stderr);
    return 2;
  }
  HWND window = FindWindowA(NULL, argv[1]);
  if (window == NULL) return 1;
  char title[1024];
  if (GetWindowTextA(window, title, sizeof title) == 0) title[0] = '\0';
  printf("window: %s\n", title);
  EnumChildWindows(window, print_child, 0);
  fflush(stdout);
  return 0;
}
