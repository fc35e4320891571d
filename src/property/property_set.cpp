// Setting, resetting and re-automating one property, and the name=value
// arguments of the set and create commands.
#include <cstring>

#include "config/integer_literal.h"
#include "config/status_codes.h"
#include "device/device_layout.h"
#include "device/device_value.h"
#include "property/property.h"
#include "property/schema.h"

namespace {

// Stores the transport class that value maps to, for a property with
// PROP_SETS_XPT or PROP_XPT_CLASS.
StatusCode store_transport(SetupInfo info, const PropertyRequest* request,
                           const char* value, uint32_t flags) {
  if (request->action != ACTION_SET) return STATUS_INVALID_PARAM;
  char value_name[VALUE_NAME_CAPACITY];
  StatusCode status =
      xpt_class_value_name(info, value_name, sizeof(value_name));
  if (status != 0) return status;
  char xpt_class[XPT_CLASS_CAPACITY];
  if (!xpt_map_forward(info, value, xpt_class, sizeof(xpt_class))) {
    return (flags & PROP_XPT_CLASS) != 0 ? STATUS_INVALID_PARAM : 0;
  }
  return write_text_value(request->key, value_name, xpt_class);
}

// The steps that need the setup file: definition, constraint, transport.
StatusCode check_and_map(SetupInfo info, const PropertyRequest* request,
                         const char* value, PropertyDefinition* definition) {
  StatusCode status = schema_find(info, request->name, definition);
  if (status != 0) return status;
  status = schema_check_value(info, request->name, definition->type, value);
  if (status != 0) return status;
  if ((definition->flags & (PROP_SETS_XPT | PROP_XPT_CLASS)) != 0) {
    status = store_transport(info, request, value, definition->flags);
  }
  return status;
}

// ACTION_SET: stores the value as text or as a number, then takes the
// property out of the automatic configuration. A mask that cannot be written
// fails the set: the commit would otherwise overwrite the value just stored
// with the automatic one, a set reported done and then lost.
StatusCode store_value(const PropertyRequest* request, const char* value,
                       int32_t type, bool automatic, uint32_t mask,
                       uint32_t bit) {
  StatusCode status = 0;
  if (type == TYPE_TEXT) {
    status = write_text_value(request->key, request->name, value);
  } else {
    int32_t number = 0;
    if (!parse_integer_literal(value, &number)) return STATUS_INVALID_PARAM;
    status = write_dword_value(request->key, request->name,
                               static_cast<uint32_t>(number));
  }
  if (status == 0 && automatic && (mask & bit) != 0) {
    status = write_dword_value(request->key, VALUE_AUTOCFG_MASK, mask & ~bit);
  }
  return status;
}

// Carries out the request's action on the device key.
StatusCode apply_action(const PropertyRequest* request, const char* value,
                        const PropertyDefinition& definition) {
  uint32_t bit = 0;
  bool automatic = auto_mask_bit(definition.flags, &bit);
  uint32_t mask = 0;
  if (automatic) {
    StatusCode status =
        read_dword_or(request->key, VALUE_AUTOCFG_MASK, 0, &mask);
    if (status != 0) return status;
  }
  switch (request->action) {
    case ACTION_SET:
      return store_value(request, value, definition.type, automatic, mask, bit);
    case ACTION_RESET: {
      StatusCode status = reg_delete_value(request->key, request->name);
      if (automatic && (mask & bit) == 0) {
        status =
            write_dword_value(request->key, VALUE_AUTOCFG_MASK, mask | bit);
      }
      return status;
    }
    case ACTION_AUTO:
      if (!automatic) return STATUS_INVALID_PARAM;
      if ((mask & bit) != 0) return 0;
      return write_dword_value(request->key, VALUE_AUTOCFG_MASK, mask | bit);
    default:
      return STATUS_INVALID_PARAM;
  }
}

// The request's value text ("" for a reset or automatic action without
// one): 0xF0000040 without a request or a name, 0xF0000006 for a set
// without a value.
StatusCode request_value(const PropertyRequest* request, const char** value) {
  if (request == nullptr || request->name == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  if (request->action == ACTION_SET && request->value == nullptr) {
    return STATUS_INVALID_PARAM;
  }
  *value = request->value != nullptr ? request->value : "";
  return 0;
}

}  // namespace

StatusCode prop_check(SetupInfo info, const PropertyRequest* request) {
  const char* value = nullptr;
  StatusCode status = request_value(request, &value);
  if (status != 0) return status;
  PropertyDefinition definition = {};
  status = schema_find(info, request->name, &definition);
  if (status != 0) return status;
  status = schema_check_value(info, request->name, definition.type, value);
  if (status != 0) return status;
  uint32_t flags = definition.flags;
  if ((flags & (PROP_SETS_XPT | PROP_XPT_CLASS)) != 0) {
    if (request->action != ACTION_SET) return STATUS_INVALID_PARAM;
    char xpt_class[XPT_CLASS_CAPACITY];
    bool mapped = xpt_map_forward(info, value, xpt_class, sizeof(xpt_class));
    if ((flags & PROP_XPT_CLASS) != 0) return mapped ? 0 : STATUS_INVALID_PARAM;
  }
  uint32_t bit = 0;
  switch (request->action) {
    case ACTION_SET: {
      int32_t number = 0;
      bool whole = definition.type == TYPE_TEXT ||
                   parse_integer_literal(value, &number);
      return whole ? 0 : STATUS_INVALID_PARAM;
    }
    case ACTION_RESET:
      return 0;
    case ACTION_AUTO:
      return auto_mask_bit(flags, &bit) ? 0 : STATUS_INVALID_PARAM;
    default:
      return STATUS_INVALID_PARAM;
  }
}

StatusCode prop_set_assignment(SetupInfo info, RegKey key, char* argument) {
  if (argument == nullptr) return STATUS_NO_ARGUMENT;
  char* equals = std::strchr(argument, '=');
  if (equals == nullptr) return STATUS_SYNTAX;
  size_t length = static_cast<size_t>(equals - argument);
  char name[PROPERTY_NAME_CAPACITY] = {0};
  if (length >= sizeof(name)) return STATUS_SYNTAX;
  std::memcpy(name, argument, length);
  PropertyRequest request = {};
  request.key = key;
  request.name = name;
  request.value = equals + 1;
  request.action = request.value[0] != '\0' ? ACTION_SET : ACTION_RESET;
  return prop_set(info, &request);
}

StatusCode prop_set(SetupInfo info, const PropertyRequest* request) {
  const char* value = nullptr;
  StatusCode status = request_value(request, &value);
  if (status != 0) return status;
  // A probe of the device key: the marker itself is not used, but a key
  // that cannot be read fails the set before anything is written, a missing
  // marker excepted.
  char marker[SET_MARKER_PROBE_CAPACITY + 1];
  status = read_text_value(request->key, nullptr, marker, SET_MARKER_PROBE_CAPACITY);
  if (status != 0 && status != W32_ERROR_FILE_NOT_FOUND) return status;
  PropertyDefinition definition = {};
  status = check_and_map(info, request, value, &definition);
  if (status != 0) return status;
  if ((definition.flags & PROP_XPT_CLASS) != 0) return 0;
  return apply_action(request, value, definition);
}
