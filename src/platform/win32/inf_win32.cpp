// INF reader over SetupAPI: a handle is the HINF that SetupOpenInfFileA
// gave, closed with the handle.
#include <cstring>

#include "platform/inf.h"
#include "platform/win32/win32_error.h"

static_assert(sizeof(InfLine) == sizeof(INFCONTEXT),
              "InfLine must mirror INFCONTEXT");

struct InfFileHandle {
  HINF inf;
};

namespace {

// The HINF of a handle; null for none, which SetupAPI refuses as it should.
HINF to_hinf(InfHandle inf) { return inf == nullptr ? nullptr : inf->inf; }

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
  UINT error_line = 0;
  HINF opened =
      SetupOpenInfFileA(file_name, nullptr, INF_STYLE_WIN4, &error_line);
  if (opened == INVALID_HANDLE_VALUE) return last_error();
  *out = new InfFileHandle{opened};
  return W32_ERROR_SUCCESS;
}

void inf_close(InfHandle inf) {
  if (inf == nullptr) return;
  SetupCloseInfFile(inf->inf);
  delete inf;
}

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
