// Modal dialogs on POSIX, drawn on the controlling terminal (/dev/tty). With
// no terminal nobody could answer a dialog: the message box reports 1459 and
// the reboot prompt -1 at once, as on a window station nobody sees.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/fold.h"
#include "platform/posix/fault.h"
#include "platform/posix/store_keys.h"
#include "platform/registry.h"

namespace {

constexpr size_t kTextWidth = 64;
constexpr uint32_t kIconMask = 0xF0;

int open_tty() { return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC); }

void write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Reads one line from the terminal, without its end (a line feed, or the
// carriage return of a terminal in raw mode); false at end of input or on an
// error before anything was read.
bool read_line(int fd, std::string* line) {
  line->clear();
  for (;;) {
    char c = 0;
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return !line->empty();
    if (c == '\n' || c == '\r') return true;
    line->push_back(c);
  }
}

// Text as it may be shown on a terminal: control bytes, which could steer it,
// become '?', tabs become blanks.
std::string printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\t') {
      out.push_back(' ');
    } else if (byte < 0x20 || byte == 0x7F) {
      out.push_back('?');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// Splits text at its line ends and wraps it at width, preferring blanks.
std::vector<std::string> wrap(const char* text, size_t width) {
  std::vector<std::string> lines;
  std::string all = text != nullptr ? text : "";
  size_t start = 0;
  for (;;) {
    size_t end = all.find('\n', start);
    std::string para = all.substr(
        start, end == std::string::npos ? std::string::npos : end - start);
    if (!para.empty() && para.back() == '\r') para.pop_back();
    para = printable(para);
    while (para.size() > width) {
      size_t cut = para.rfind(' ', width);
      if (cut == std::string::npos || cut == 0) cut = width;
      lines.push_back(para.substr(0, cut));
      para.erase(0, para[cut] == ' ' ? cut + 1 : cut);
    }
    lines.push_back(para);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

const char* icon_marker(uint32_t style) {
  switch (style & kIconMask) {
    case 0x10:
      return "(X) ";
    case 0x20:
      return "(?) ";
    case 0x30:
      return "(!) ";
    case 0x40:
      return "(i) ";
    default:
      return "";
  }
}

std::string padded(const std::string& text, size_t width) {
  return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

// A framed box: the title bar, the marker before the first text line, the
// text, and the footer line centred at the bottom.
std::string draw_box(const std::string& title, const std::string& marker,
                     const std::vector<std::string>& text,
                     const std::string& footer) {
  std::vector<std::string> body;
  for (size_t i = 0; i < text.size(); ++i) {
    body.push_back((i == 0 ? marker : std::string(marker.size(), ' ')) +
                   text[i]);
  }
  size_t width = footer.size();
  if (title.size() > width) width = title.size();
  for (const std::string& line : body) {
    if (line.size() > width) width = line.size();
  }
  std::string rule = "+" + std::string(width + 2, '-') + "+\n";
  std::string box = "\n" + rule + "| " + padded(title, width) + " |\n" + rule;
  for (const std::string& line : body) {
    box += "| " + padded(line, width) + " |\n";
  }
  size_t left = (width - footer.size()) / 2;
  box += "| " + padded(std::string(left, ' ') + footer, width) + " |\n";
  box += rule;
  return box;
}

bool is_yes(const std::string& answer) {
  std::string word;
  for (char c : answer) {
    if (c == ' ' || c == '\t' || c == '\r') continue;
    word.push_back(fold_letter(c));
  }
  return word == "y" || word == "yes";
}

// Records that a restart is under way: HKLM\System\Platform\RebootPending=1.
StatusCode record_reboot_pending() {
  RegKey key = nullptr;
  StatusCode status = reg_create_key(reg_local_machine(), kPlatformKeyPath,
                                     W32_KEY_SET_VALUE, &key, nullptr);
  if (status != W32_ERROR_SUCCESS) return status;
  uint32_t one = 1;
  status =
      reg_set_value(key, "RebootPending", W32_REG_DWORD, &one, sizeof(one));
  reg_close_key(key);
  return status;
}

}  // namespace

StatusCode dialog_message_box(const char* text, const char* title,
                              uint32_t style) {
  StatusCode fault = fault_hit(FaultPoint::kDialogMessageBox, text);
  if (fault != W32_ERROR_SUCCESS) return fault;
  int tty = open_tty();
  if (tty < 0) return W32_ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION;
  std::vector<std::string> title_lines = wrap(title, kTextWidth);
  write_all(tty, draw_box(title_lines[0], icon_marker(style),
                          wrap(text, kTextWidth), "[ OK ]"));
  write_all(tty, "Press Enter to close. ");
  std::string answer;
  read_line(tty, &answer);
  close(tty);
  return W32_ERROR_SUCCESS;
}

int32_t dialog_prompt_reboot() {
  if (fault_hit(FaultPoint::kDialogPromptReboot, nullptr) !=
      W32_ERROR_SUCCESS) {
    return -1;
  }
  int tty = open_tty();
  if (tty < 0) return -1;
  std::vector<std::string> text = {
      "You must restart your computer before the new settings",
      "will take effect.", "", "Do you want to restart your computer now?"};
  write_all(
      tty, draw_box("System Settings Change", "(?) ", text, "[ Yes ]  [ No ]"));
  write_all(tty, "Restart the computer now? [y/N] ");
  std::string answer;
  bool answered = read_line(tty, &answer);
  close(tty);
  if (!answered || !is_yes(answer)) return 0;
  if (record_reboot_pending() != W32_ERROR_SUCCESS) return -1;
  return W32_SPFILEQ_REBOOT_IN_PROGRESS;
}
