// Querying one property, and the walk over [cfg_prop_map] for a listing.
#include <cstdio>
#include <cstring>

#include "config/status_codes.h"
#include "device/device_layout.h"
#include "device/device_value.h"
#include "platform/inf.h"
#include "property/property.h"
#include "property/schema.h"

namespace {

// What the steps that need the setup file found out about a property.
struct PropertyReading {
  PropertyDefinition definition;
  bool present;     // the device key holds a value for the property
  uint32_t mask;    // "autocfg_mask", 0 when unread
  uint32_t number;  // the first four bytes read, for a numeric property
};

bool is_numeric(const PropertyDefinition& definition) {
  return definition.type != TYPE_TEXT &&
         (definition.flags & PROP_XPT_CLASS) == 0;
}

// Copies text with its terminator into the request's value buffer; 234 when
// it does not fit.
StatusCode copy_to_value(PropertyRequest* request, const char* text) {
  size_t size = std::strlen(text) + 1;
  if (size > request->value_size) return W32_ERROR_MORE_DATA;
  std::memcpy(request->value, text, size);
  return 0;
}

// Reads the registry value into the request's buffer. A text is terminated
// inside the buffer (234 when its data fill the buffer without a zero byte);
// the first four bytes also go into reading->number.
StatusCode read_stored(PropertyRequest* request, const char* value_name,
                       PropertyReading* reading) {
  uint32_t size = request->value_size;
  StatusCode status =
      reg_query_value(request->key, value_name, nullptr, request->value, &size);
  if (status == W32_ERROR_FILE_NOT_FOUND) {
    reading->present = false;
    return 0;
  }
  if (status != 0) return status;
  if (size > request->value_size) return W32_ERROR_MORE_DATA;
  reading->present = true;
  uint32_t count = size < 4 ? size : 4;
  std::memcpy(&reading->number, request->value, count);
  if (size < request->value_size) {
    request->value[size] = '\0';
  } else if (!is_numeric(reading->definition) &&
             (size == 0 || request->value[size - 1] != '\0')) {
    return W32_ERROR_MORE_DATA;
  }
  return 0;
}

// Replaces the stored transport class in the value buffer by the transport
// name that maps to it.
StatusCode map_back(SetupInfo info, PropertyRequest* request,
                    const PropertyReading& reading) {
  if (!reading.present) return STATUS_UNKNOWN_PROP;
  char transport[XPT_CLASS_CAPACITY];
  if (!xpt_map_reverse(info, request->value, transport, sizeof(transport))) {
    return STATUS_INVALID_PARAM;
  }
  return copy_to_value(request, transport);
}

// The steps of a query that need the setup file.
StatusCode read_property(SetupInfo info, PropertyRequest* request,
                         PropertyReading* reading) {
  StatusCode status = schema_find(info, request->name, &reading->definition);
  if (status != 0) return status;
  uint32_t flags = reading->definition.flags;
  char xpt_value_name[VALUE_NAME_CAPACITY];
  const char* value_name = request->name;
  if ((flags & PROP_XPT_CLASS) != 0) {
    status = xpt_class_value_name(info, xpt_value_name, sizeof(xpt_value_name));
    if (status != 0) return status;
    value_name = xpt_value_name;
  }
  uint32_t bit = 0;
  if (auto_mask_bit(flags, &bit)) {
    status = read_dword_or(request->key, VALUE_AUTOCFG_MASK, 0, &reading->mask);
    if (status != 0) return status;
  }
  status = read_stored(request, value_name, reading);
  if (status != 0) return status;
  if ((flags & PROP_XPT_CLASS) != 0) return map_back(info, request, *reading);
  return 0;
}

// The state that a query reports for what it read.
int32_t state_of(const PropertyReading& reading) {
  if (!reading.present) return STATE_DEFAULT;
  uint32_t bit = 0;
  if (auto_mask_bit(reading.definition.flags, &bit) &&
      (reading.mask & bit) != 0) {
    return STATE_AUTO;
  }
  return STATE_VALUE;
}

// Whether a listing with filter shows the line key with these flags.
bool admitted(const PropertyRequest* request, const char* key, uint32_t flags) {
  if ((flags & PROP_HIDDEN) != 0) return false;
  if ((flags & PROP_XPT_CLASS) != 0) return true;
  if (request->filter == LIST_ALL && (flags & PROP_SHOW_IF_SET) == 0) {
    return true;
  }
  return value_exists(request->key, key);
}

}  // namespace

StatusCode prop_get(SetupInfo info, PropertyRequest* request) {
  if (request == nullptr || request->name == nullptr ||
      request->value == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  // A probe of the device key: the marker itself is not used, but a key
  // that cannot be read fails the query here, a missing marker excepted.
  char marker[GET_MARKER_PROBE_CAPACITY + 1];
  StatusCode status =
      read_text_value(request->key, nullptr, marker, GET_MARKER_PROBE_CAPACITY);
  if (status != 0 && status != W32_ERROR_FILE_NOT_FOUND) return status;
  PropertyReading reading = {};
  status = read_property(info, request, &reading);
  if (status == 0 && reading.present && is_numeric(reading.definition)) {
    char text[16];
    std::snprintf(text, sizeof(text), "%d",
                  static_cast<int32_t>(reading.number));
    status = copy_to_value(request, text);
  }
  if (status != 0) {
    if (request->value_size > 0) request->value[0] = '\0';
    return status;
  }
  if (!reading.present && request->value_size > 0) request->value[0] = '\0';
  request->state = state_of(reading);
  request->type = reading.definition.type;
  return 0;
}

StatusCode prop_step(SetupInfo info, PropertyRequest* request) {
  if (request == nullptr || request->name == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  if (request->filter == 3) return W32_ERROR_NOT_SUPPORTED;
  if (request->filter != LIST_STORED && request->filter != LIST_ALL) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  for (;; ++request->index) {
    InfLine line;
    if (inf_get_line_by_index(info, SECTION_PROP_MAP,
                              static_cast<uint32_t>(request->index),
                              &line) != 0) {
      return STATUS_UNKNOWN_PROP;
    }
    char key[PROPERTY_NAME_CAPACITY];
    int32_t flags = 0;
    if (inf_get_string_field(&line, 0, key, sizeof(key), nullptr) != 0 ||
        inf_get_int_field(&line, 2, &flags) != 0) {
      return STATUS_INF_CORRUPT;
    }
    if (admitted(request, key, static_cast<uint32_t>(flags))) {
      std::snprintf(request->name, PROPERTY_NAME_CAPACITY, "%s", key);
      return 0;
    }
  }
}

StatusCode prop_first(SetupInfo info, PropertyRequest* request) {
  if (request == nullptr || request->name == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  request->index = 0;
  return prop_step(info, request);
}

StatusCode prop_next(SetupInfo info, PropertyRequest* request) {
  if (request == nullptr || request->name == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  ++request->index;
  return prop_step(info, request);
}
