// The reads of a parsed INF model: sections and lines by name, fields as
// parsed and with their %key% references replaced, integer fields.
#include "platform/posix/inf_model.h"

#include <cstring>
#include <string>

#include "platform/fold.h"
#include "platform/integer_scan.h"

namespace {

// The text that %name% stands for: field 1 of the first [Strings] line with
// that key, unsubstituted; null when there is none.
const InfFieldRecord* string_value(const InfModel* model, const char* name,
                                   size_t length) {
  if (model->strings_section < 0) return nullptr;
  uint32_t strings = static_cast<uint32_t>(model->strings_section);
  const InfSectionRecord& section = model->sections[strings];
  for (uint32_t i = 0; i < section.line_count; ++i) {
    const InfLineRecord* line = inf_model_line(model, strings, i);
    const InfFieldRecord* key = inf_model_raw_field(model, line, 0);
    if (key == nullptr || !inf_names_equal(inf_model_field_text(model, *key),
                                           key->length, name, length)) {
      continue;
    }
    return inf_model_raw_field(model, line, 1);
  }
  return nullptr;
}

bool key_matches(const InfModel* model, const InfLineRecord* line,
                 const char* key, std::string* scratch) {
  const InfFieldRecord* field = inf_model_raw_field(model, line, 0);
  if (field == nullptr) return false;
  inf_model_substitute(model, *field, scratch);
  return inf_names_equal(scratch->data(), scratch->size(), key,
                         std::strlen(key));
}

}  // namespace

bool inf_names_equal(const char* a, size_t a_length, const char* b,
                     size_t b_length) {
  return equal_folded_bytes(a, a_length, b, b_length);
}

int32_t inf_model_find_section(const InfModel* model, const char* name) {
  if (model == nullptr || name == nullptr) return -1;
  size_t length = std::strlen(name);
  for (size_t i = 0; i < model->sections.size(); ++i) {
    const InfFieldRecord& record = model->sections[i].name;
    if (inf_names_equal(inf_model_field_text(model, record), record.length,
                        name, length)) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

const InfLineRecord* inf_model_line(const InfModel* model, uint32_t section,
                                    uint32_t index) {
  const InfSectionRecord& record = model->sections[section];
  return &model->lines[record.first_line + index];
}

StatusCode inf_model_find_line(const InfModel* model, uint32_t section,
                               const char* key, uint32_t* index) {
  uint32_t count = model->sections[section].line_count;
  std::string scratch;
  for (uint32_t i = 0; i < count; ++i) {
    if (key == nullptr ||
        key_matches(model, inf_model_line(model, section, i), key, &scratch)) {
      *index = i;
      return W32_ERROR_SUCCESS;
    }
  }
  return W32_ERROR_LINE_NOT_FOUND;
}

const InfFieldRecord* inf_model_raw_field(const InfModel* model,
                                          const InfLineRecord* line,
                                          uint32_t index) {
  if (index == 0) {
    if (line->has_key || line->field_count == 1) {
      return &model->fields[line->first_field];
    }
    return nullptr;
  }
  uint32_t position = line->has_key ? index : index - 1;
  if (position >= line->field_count) return nullptr;
  return &model->fields[line->first_field + position];
}

const char* inf_model_field_text(const InfModel* model,
                                 const InfFieldRecord& field) {
  return model->text.data() + field.offset;
}

void inf_model_substitute(const InfModel* model, const InfFieldRecord& field,
                          std::string* out) {
  const char* text = inf_model_field_text(model, field);
  size_t length = field.length;
  out->clear();
  size_t pos = 0;
  while (pos < length) {
    const char* percent =
        static_cast<const char*>(std::memchr(text + pos, '%', length - pos));
    if (percent == nullptr) break;
    size_t start = static_cast<size_t>(percent - text);
    out->append(text + pos, start - pos);
    const char* close = static_cast<const char*>(
        std::memchr(text + start + 1, '%', length - start - 1));
    if (close == nullptr) {
      pos = start;
      break;
    }
    size_t end = static_cast<size_t>(close - text);
    const InfFieldRecord* value =
        end == start + 1
            ? nullptr
            : string_value(model, text + start + 1, end - start - 1);
    if (end == start + 1) {
      out->push_back('%');
    } else if (value != nullptr) {
      out->append(inf_model_field_text(model, *value), value->length);
    } else {
      out->append(text + start, end + 1 - start);
    }
    pos = end + 1;
  }
  out->append(text + pos, length - pos);
}

StatusCode inf_model_read_field(const InfModel* model,
                                const InfLineRecord* line, uint32_t index,
                                std::string* out) {
  const InfFieldRecord* field = inf_model_raw_field(model, line, index);
  if (field == nullptr) return W32_ERROR_GEN_FAILURE;
  inf_model_substitute(model, *field, out);
  return W32_ERROR_SUCCESS;
}

StatusCode inf_parse_int(const char* text, int32_t* value) {
  return read_c_long(text, value) ? W32_ERROR_SUCCESS : W32_ERROR_INVALID_DATA;
}
