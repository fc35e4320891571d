// INF reader over SetupAPI. An opened file is kept for the life of the
// process and handed to every later open of the same name while the file
// SetupAPI opened is still the first one the name reaches and its size and
// last-write time are unchanged; a file written within two seconds of being
// opened is opened afresh every time, since its last-write time alone cannot
// tell a later change from none. A handle keeps the file it was given until
// it is closed.
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/inf.h"
#include "platform/win32/win32_error.h"

static_assert(sizeof(InfLine) == sizeof(INFCONTEXT),
              "InfLine must mirror INFCONTEXT");

struct InfFileHandle {
  std::shared_ptr<void> inf;  // the HINF, closed with its last holder
};

namespace {

// File times count 100 ns units.
constexpr ULONGLONG kTimeUnitsPerSecond = 10000000;

// The coarsest step of last-write times a setup file is expected to meet
// (FAT keeps them in steps of two seconds).
constexpr ULONGLONG kTimeStep = 2 * kTimeUnitsPerSecond;

// What GetFileAttributesEx tells about a file that changes whenever its
// contents do.
struct InfFileState {
  ULONGLONG size;
  ULONGLONG last_write;
};

struct CachedInf {
  std::string path;    // the file SetupAPI opened
  InfFileState state;  // when it was opened
  std::shared_ptr<void> inf;
};

std::map<std::string, CachedInf>& cache() {
  static std::map<std::string, CachedInf> entries;
  return entries;
}

ULONGLONG to_units(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) |
         time.dwLowDateTime;
}

ULONGLONG now_units() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return to_units(now);
}

// The state of the file at path; false when it is missing or a folder.
bool file_state(const std::string& path, InfFileState* state) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  state->size =
      (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  state->last_write = to_units(data.ftLastWriteTime);
  return true;
}

bool same_state(const InfFileState& a, const InfFileState& b) {
  return a.size == b.size && a.last_write == b.last_write;
}

bool has_directory(const char* name) {
  return std::strchr(name, '\\') != nullptr ||
         std::strchr(name, '/') != nullptr;
}

// Where file_name can be, in the order SetupAPI looks: its full path, or for
// a bare name the Windows folder's inf, then system32.
std::vector<std::string> candidate_paths(const char* file_name) {
  std::vector<std::string> paths;
  char buffer[MAX_PATH];
  if (has_directory(file_name)) {
    DWORD length = GetFullPathNameA(file_name, MAX_PATH, buffer, nullptr);
    if (length > 0 && length < MAX_PATH) paths.push_back(buffer);
    return paths;
  }
  UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    paths.push_back(std::string(buffer) + "\\inf\\" + file_name);
  }
  length = GetSystemDirectoryA(buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    paths.push_back(std::string(buffer) + "\\" + file_name);
  }
  return paths;
}

// The cached file of file_name when it is still the file the name reaches
// first, unchanged since it was opened; null otherwise. The search stops at
// the first file found, as SetupAPI's does: looking for a file that is not
// there costs Wine a scan of the whole folder.
std::shared_ptr<void> unchanged_inf(const char* file_name) {
  auto found = cache().find(file_name);
  if (found == cache().end()) return nullptr;
  const CachedInf& cached = found->second;
  for (const std::string& path : candidate_paths(file_name)) {
    InfFileState state;
    if (!file_state(path, &state)) continue;
    bool same = lstrcmpiA(path.c_str(), cached.path.c_str()) == 0 &&
                same_state(state, cached.state);
    return same ? cached.inf : nullptr;
  }
  return nullptr;
}

// The path of the file SetupAPI opened as inf.
bool opened_path(HINF inf, std::string* path) {
  DWORD size = 0;
  if (!SetupGetInfInformationA(inf, INFINFO_INF_SPEC_IS_HINF, nullptr, 0,
                               &size) ||
      size == 0) {
    return false;
  }
  std::vector<char> info(size);
  PSP_INF_INFORMATION information =
      reinterpret_cast<PSP_INF_INFORMATION>(info.data());
  char buffer[MAX_PATH];
  if (!SetupGetInfInformationA(inf, INFINFO_INF_SPEC_IS_HINF, information, size,
                               nullptr) ||
      !SetupQueryInfFileInformationA(information, 0, buffer, MAX_PATH,
                                     nullptr)) {
    return false;
  }
  *path = buffer;
  return true;
}

// Keeps inf, opened as file_name after now, for later opens when the file
// it was read from has been left alone long enough to tell any change.
void remember(const char* file_name, ULONGLONG now,
              const std::shared_ptr<void>& inf) {
  CachedInf entry;
  entry.inf = inf;
  if (!opened_path(static_cast<HINF>(inf.get()), &entry.path) ||
      !file_state(entry.path, &entry.state) ||
      entry.state.last_write + kTimeStep >= now) {
    return;
  }
  cache()[file_name] = std::move(entry);
}

// The HINF of a handle; null for none, which SetupAPI refuses as it should.
HINF to_hinf(InfHandle inf) {
  return inf == nullptr ? nullptr : static_cast<HINF>(inf->inf.get());
}

INFCONTEXT to_context(const InfLine* line) {
  INFCONTEXT context;
  std::memcpy(&context, line, sizeof(context));
  return context;
}

void from_context(const INFCONTEXT& context, InfLine* line) {
  std::memcpy(line, &context, sizeof(*line));
}

}  // namespace

StatusCode inf_open(const char* file_name, InfHandle* out) {
  std::shared_ptr<void> inf = unchanged_inf(file_name);
  if (inf == nullptr) {
    cache().erase(file_name);
    ULONGLONG now = now_units();
    UINT error_line = 0;
    HINF opened =
        SetupOpenInfFileA(file_name, nullptr, INF_STYLE_WIN4, &error_line);
    if (opened == INVALID_HANDLE_VALUE) return last_error();
    inf.reset(opened, SetupCloseInfFile);
    remember(file_name, now, inf);
  }
  *out = new InfFileHandle{std::move(inf)};
  return W32_ERROR_SUCCESS;
}

void inf_close(InfHandle inf) { delete inf; }

StatusCode inf_find_first_line(InfHandle inf, const char* section,
                               const char* key, InfLine* line) {
  INFCONTEXT context = {};
  if (!SetupFindFirstLineA(to_hinf(inf), section, key, &context)) {
    return last_error();
  }
  from_context(context, line);
  return W32_ERROR_SUCCESS;
}

StatusCode inf_find_next_line(const InfLine* line, InfLine* next) {
  INFCONTEXT current = to_context(line);
  INFCONTEXT context = {};
  if (!SetupFindNextLine(&current, &context)) return last_error();
  from_context(context, next);
  return W32_ERROR_SUCCESS;
}

StatusCode inf_get_line_by_index(InfHandle inf, const char* section,
                                 uint32_t index, InfLine* line) {
  INFCONTEXT context = {};
  if (!SetupGetLineByIndexA(to_hinf(inf), section, index, &context)) {
    return last_error();
  }
  from_context(context, line);
  return W32_ERROR_SUCCESS;
}

int32_t inf_get_line_count(InfHandle inf, const char* section) {
  return static_cast<int32_t>(SetupGetLineCountA(to_hinf(inf), section));
}

StatusCode inf_get_string_field(const InfLine* line, uint32_t index,
                                char* buffer, uint32_t capacity,
                                uint32_t* required) {
  INFCONTEXT context = to_context(line);
  DWORD needed = 0;
  if (!SetupGetStringFieldA(&context, index, buffer, capacity, &needed)) {
    if (required != nullptr) *required = needed;
    return last_error();
  }
  if (required != nullptr) *required = needed;
  return W32_ERROR_SUCCESS;
}

StatusCode inf_get_int_field(const InfLine* line, uint32_t index,
                             int32_t* value) {
  INFCONTEXT context = to_context(line);
  INT number = 0;
  if (!SetupGetIntField(&context, index, &number)) return last_error();
  *value = number;
  return W32_ERROR_SUCCESS;
}
