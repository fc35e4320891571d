// Reader of setup information (INF) files, with the contracts of the SetupAPI
// functions that serve it on Windows (SetupOpenInfFileA and friends). Every
// failing operation returns the non-zero error code that SetupAPI leaves in
// GetLastError.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct InfFileHandle;  // defined by the backend
typedef InfFileHandle* InfHandle;

// One line of an opened file; the layout of SetupAPI's INFCONTEXT.
struct InfLine {
  void* inf;
  void* current_inf;
  uint32_t section;
  uint32_t line;
};

// Opens a file by name with the WIN4 style; a bare name is searched in the
// platform's INF directories. 2 when no file is found, 0xE0000100 when it is
// not a WIN4 INF.
StatusCode inf_open(const char* file_name, InfHandle* out);

// Releases a handle from inf_open.
void inf_close(InfHandle inf);

// First line of section, or with key non-null the first line of that key.
StatusCode inf_find_first_line(InfHandle inf, const char* section,
                               const char* key, InfLine* line);

// Moves to the next line of the same section.
StatusCode inf_find_next_line(const InfLine* line, InfLine* next);

// Line number index (0-based) of section; 0xE0000102 past the last line.
StatusCode inf_get_line_by_index(InfHandle inf, const char* section,
                                 uint32_t index, InfLine* line);

// Number of lines of section, or -1 when it does not exist.
int32_t inf_get_line_count(InfHandle inf, const char* section);

// Copies field index (0 is the key) with its terminator into buffer; 122 when
// it does not fit. *required (optional) receives the size needed.
StatusCode inf_get_string_field(const InfLine* line, uint32_t index,
                                char* buffer, uint32_t capacity,
                                uint32_t* required);

// Reads field index as a signed 32-bit integer.
StatusCode inf_get_int_field(const InfLine* line, uint32_t index,
                             int32_t* value);
