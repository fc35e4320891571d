// INF reader of the POSIX platform: finding, reading and decoding the file,
// and the INF operations over its parsed model (inf_model.h). Every open
// reads and parses the file as it is; a handle keeps its model, whatever
// happens to the file, until it is closed.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/inf.h"
#include "platform/posix/errno_status.h"
#include "platform/posix/fault.h"
#include "platform/posix/inf_model.h"
#include "platform/posix/inf_text.h"
#include "platform/posix/live_handles.h"
#include "platform/posix/root_dir.h"

struct InfFileHandle {
  std::unique_ptr<const InfModel> model;  // never null, read only
};

namespace {

// Larger files are refused before they are read: the parsed model addresses
// its text by 32-bit offsets.
constexpr off_t kMaxFileSize = 0x3FFFFFFF;

const InfModel* handle_model(const InfFileHandle* inf) {
  return inf == nullptr ? nullptr : inf->model.get();
}

void fill_line(InfFileHandle* inf, uint32_t section, uint32_t index,
               InfLine* line) {
  line->inf = inf;
  line->current_inf = inf;
  line->section = section;
  line->line = index;
}

// The model and record a line context names; null when it names none.
const InfLineRecord* context_line(const InfLine* line, const InfModel** model) {
  if (line == nullptr || line->current_inf == nullptr) return nullptr;
  const InfModel* found =
      handle_model(static_cast<const InfFileHandle*>(line->current_inf));
  if (line->section >= found->sections.size() ||
      line->line >= found->sections[line->section].line_count) {
    return nullptr;
  }
  *model = found;
  return inf_model_line(found, line->section, line->line);
}

// The name of the section a line context names, for fault subjects; "" when
// it names none.
const char* line_section(const InfLine* line) {
  const InfModel* model = nullptr;
  if (context_line(line, &model) == nullptr) return "";
  return inf_model_field_text(model, model->sections[line->section].name);
}

// The substituted text of field index of the line context.
StatusCode read_field(const InfLine* line, uint32_t index, std::string* out) {
  const InfModel* model = nullptr;
  const InfLineRecord* record = context_line(line, &model);
  if (record == nullptr) return W32_ERROR_INVALID_PARAMETER;
  return inf_model_read_field(model, record, index, out);
}

// ---------------------------------------------------------------------------
// Opening.

bool has_directory(const char* name) {
  return std::strchr(name, '/') != nullptr;
}

// The entry of directory whose name matches name without regard to case.
bool find_folded_entry(const std::string& directory, const char* name,
                       std::string* found) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return false;
  size_t length = std::strlen(name);
  bool matched = false;
  while (struct dirent* entry = readdir(dir)) {
    if (inf_names_equal(entry->d_name, std::strlen(entry->d_name), name,
                        length)) {
      *found = directory + "/" + entry->d_name;
      matched = true;
      break;
    }
  }
  closedir(dir);
  return matched;
}

// The code of a failed open: a missing file whose folder is missing too is a
// missing path, as SetupAPI reports it.
StatusCode open_error(int error, const std::string& path, bool bare) {
  if (error != ENOENT || bare) return win32_error_from_errno(error);
  size_t slash = path.rfind('/');
  std::string parent = slash == 0 ? "/" : path.substr(0, slash);
  struct stat info;
  return stat(parent.c_str(), &info) == 0 ? W32_ERROR_FILE_NOT_FOUND
                                          : W32_ERROR_PATH_NOT_FOUND;
}

// Reads up to size bytes of fd, the file called file_name, into contents;
// fewer when the file ends sooner. A failed read fails the whole, rather
// than leave a cut text that would parse as a shorter file.
StatusCode read_contents(const char* file_name, int fd, size_t size,
                         std::string* contents) {
  contents->resize(size);
  size_t done = 0;
  while (done < size) {
    StatusCode fault = fault_hit(FaultPoint::kInfRead, file_name);
    if (fault != W32_ERROR_SUCCESS) return fault;
    ssize_t got = read(fd, &(*contents)[done], size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return win32_error_from_errno(errno);
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  contents->resize(done);
  return W32_ERROR_SUCCESS;
}

// Where the file called file_name is, unless only a search without regard
// to case finds it.
std::string exact_path(const char* file_name) {
  return has_directory(file_name) ? file_name
                                  : platform_inf_dir() + "/" + file_name;
}

// Opens the file called file_name for reading: a bare name in the INF
// directory, matched without regard to case when no entry has it exactly.
StatusCode open_file(const char* file_name, int* fd) {
  bool bare = !has_directory(file_name);
  std::string path = exact_path(file_name);
  *fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (*fd < 0 && errno == ENOENT && bare) {
    std::string found;
    if (find_folded_entry(platform_inf_dir(), file_name, &found)) {
      path = found;
      *fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
  }
  return *fd < 0 ? open_error(errno, path, bare) : W32_ERROR_SUCCESS;
}

// Whether the opened file fd may be read as a setup file at all; its size
// goes into *size.
StatusCode check_file(int fd, size_t* size) {
  struct stat info;
  if (fstat(fd, &info) != 0) return W32_ERROR_FILE_INVALID;
  if (S_ISDIR(info.st_mode)) return W32_ERROR_ACCESS_DENIED;
  if (info.st_size > kMaxFileSize) return W32_ERROR_NOT_ENOUGH_MEMORY;
  *size = static_cast<size_t>(info.st_size);
  return W32_ERROR_SUCCESS;
}

// True when [Version] names one of the WIN4 signatures.
bool has_win4_signature(const InfModel* model) {
  int32_t version = inf_model_find_section(model, "Version");
  if (version < 0) return false;
  uint32_t section = static_cast<uint32_t>(version);
  std::string text;
  for (uint32_t i = 0; i < model->sections[section].line_count; ++i) {
    const InfLineRecord* line = inf_model_line(model, section, i);
    if (!line->has_key ||
        inf_model_read_field(model, line, 0, &text) != W32_ERROR_SUCCESS ||
        !inf_names_equal(text.data(), text.size(), "Signature",
                         std::strlen("Signature"))) {
      continue;
    }
    if (inf_model_read_field(model, line, 1, &text) != W32_ERROR_SUCCESS) {
      return false;
    }
    for (const char* signature :
         {"$Windows NT$", "$Chicago$", "$Windows 95$"}) {
      if (inf_names_equal(text.data(), text.size(), signature,
                          std::strlen(signature))) {
        return true;
      }
    }
    return false;
  }
  return false;
}

// Parses the file's bytes, converted to UTF-8 first when they are not UTF-8
// already; contents is released as soon as the parser no longer needs it.
StatusCode parse_contents(std::string* contents, InfModel* model) {
  if (inf_text_needs_decoding(*contents)) {
    std::string decoded;
    inf_decode_text(*contents, &decoded);
    std::string().swap(*contents);
    return inf_parse_text(decoded.data(), decoded.size(), model);
  }
  StatusCode status = inf_parse_text(contents->data(), contents->size(), model);
  std::string().swap(*contents);
  return status;
}

// Parses and checks the whole contents of a setup file.
StatusCode build_model(std::string* contents,
                       std::unique_ptr<const InfModel>* out) {
  if (contents->empty()) return W32_ERROR_FILE_INVALID;
  std::unique_ptr<InfModel> model = std::make_unique<InfModel>();
  StatusCode status = parse_contents(contents, model.get());
  if (status != W32_ERROR_SUCCESS) return status;
  if (!has_win4_signature(model.get())) return W32_ERROR_WRONG_INF_STYLE;
  *out = std::move(model);
  return W32_ERROR_SUCCESS;
}

// Reads and parses the opened file fd, called file_name.
StatusCode load_model(const char* file_name, int fd,
                      std::unique_ptr<const InfModel>* out) {
  size_t size = 0;
  StatusCode status = check_file(fd, &size);
  if (status != W32_ERROR_SUCCESS) return status;
  std::string contents;
  status = read_contents(file_name, fd, size, &contents);
  if (status != W32_ERROR_SUCCESS) return status;
  return build_model(&contents, out);
}

}  // namespace

StatusCode inf_open(const char* file_name, InfHandle* out) {
  if (file_name == nullptr || out == nullptr) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  StatusCode status = fault_hit(FaultPoint::kInfOpen, file_name);
  if (status != W32_ERROR_SUCCESS) return status;
  int fd = -1;
  status = open_file(file_name, &fd);
  if (status != W32_ERROR_SUCCESS) return status;
  std::unique_ptr<const InfModel> model;
  status = load_model(file_name, fd, &model);
  close(fd);
  if (status != W32_ERROR_SUCCESS) return status;
  *out = new InfFileHandle{std::move(model)};
  live_handle_made(LiveHandle::kInf);
  return W32_ERROR_SUCCESS;
}

void inf_close(InfHandle inf) {
  if (inf == nullptr) return;
  live_handle_released(LiveHandle::kInf);
  delete inf;
}

StatusCode inf_find_first_line(InfHandle inf, const char* section,
                               const char* key, InfLine* line) {
  StatusCode status = fault_hit(FaultPoint::kInfFindFirstLine,
                                fault_subject_pair(section, key).c_str());
  if (status != W32_ERROR_SUCCESS) return status;
  if (line == nullptr) return W32_ERROR_INVALID_PARAMETER;
  const InfModel* model = handle_model(inf);
  int32_t found = inf_model_find_section(model, section);
  if (found < 0) return W32_ERROR_LINE_NOT_FOUND;
  uint32_t index = 0;
  status =
      inf_model_find_line(model, static_cast<uint32_t>(found), key, &index);
  if (status != W32_ERROR_SUCCESS) return status;
  fill_line(inf, static_cast<uint32_t>(found), index, line);
  return W32_ERROR_SUCCESS;
}

StatusCode inf_find_next_line(const InfLine* line, InfLine* next) {
  StatusCode status =
      fault_hit(FaultPoint::kInfFindNextLine, line_section(line));
  if (status != W32_ERROR_SUCCESS) return status;
  const InfModel* model = nullptr;
  if (context_line(line, &model) == nullptr || next == nullptr) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  if (line->line + 1 >= model->sections[line->section].line_count) {
    return W32_ERROR_LINE_NOT_FOUND;
  }
  fill_line(static_cast<InfFileHandle*>(line->current_inf), line->section,
            line->line + 1, next);
  return W32_ERROR_SUCCESS;
}

StatusCode inf_get_line_by_index(InfHandle inf, const char* section,
                                 uint32_t index, InfLine* line) {
  StatusCode status = fault_hit(FaultPoint::kInfLineByIndex, section);
  if (status != W32_ERROR_SUCCESS) return status;
  if (line == nullptr) return W32_ERROR_INVALID_PARAMETER;
  const InfModel* model = handle_model(inf);
  int32_t found = inf_model_find_section(model, section);
  if (found < 0 || index >= model->sections[found].line_count) {
    return W32_ERROR_LINE_NOT_FOUND;
  }
  fill_line(inf, static_cast<uint32_t>(found), index, line);
  return W32_ERROR_SUCCESS;
}

int32_t inf_get_line_count(InfHandle inf, const char* section) {
  if (fault_hit(FaultPoint::kInfLineCount, section) != W32_ERROR_SUCCESS) {
    return -1;
  }
  const InfModel* model = handle_model(inf);
  int32_t found = inf_model_find_section(model, section);
  return found < 0 ? -1
                   : static_cast<int32_t>(model->sections[found].line_count);
}

StatusCode inf_get_string_field(const InfLine* line, uint32_t index,
                                char* buffer, uint32_t capacity,
                                uint32_t* required) {
  StatusCode status =
      fault_hit(FaultPoint::kInfStringField, line_section(line));
  if (status != W32_ERROR_SUCCESS) return status;
  std::string text;
  status = read_field(line, index, &text);
  if (status != W32_ERROR_SUCCESS) return status;
  uint32_t size = static_cast<uint32_t>(text.size() + 1);
  if (required != nullptr) *required = size;
  if (buffer == nullptr) return W32_ERROR_SUCCESS;
  if (capacity < size) return W32_ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(buffer, text.c_str(), size);
  return W32_ERROR_SUCCESS;
}

StatusCode inf_get_int_field(const InfLine* line, uint32_t index,
                             int32_t* value) {
  StatusCode status = fault_hit(FaultPoint::kInfIntField, line_section(line));
  if (status != W32_ERROR_SUCCESS) return status;
  std::string text;
  status = read_field(line, index, &text);
  if (status != W32_ERROR_SUCCESS) return status;
  int32_t number = 0;
  status = inf_parse_int(text.c_str(), &number);
  if (status != W32_ERROR_SUCCESS) return status;
  if (value != nullptr) *value = number;
  return W32_ERROR_SUCCESS;
}
