// libFuzzer harness of the POSIX registry store. Each input is a program of
// registry operations (create, open, set, query, enumerate, delete) on a
// fresh store, run through the platform API and, beside it, on a small model
// of what the registry must hold. Every answer is checked against the model:
// status codes, disposition, names and data read back, enumeration in folded
// order, 234 with the size needed, 1018 through a handle whose key is gone.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fuzz_root.h"
#include "platform/fold.h"
#include "platform/posix/registry_store.h"
#include "platform/registry.h"

namespace {

std::string g_store_path;

// The names the programs use: few, so that they meet, with case variants.
const char* const kNames[] = {"a", "A", "b", "Bb", "bB", "c", "Zeb", "zEB"};
constexpr size_t kNameCount = sizeof(kNames) / sizeof(kNames[0]);
constexpr size_t kHandleSlots = 4;
constexpr size_t kMaxSteps = 64;

struct ModelValue {
  std::string name;  // spelling of the first write
  uint32_t type;
  std::string data;
};

struct ModelKey {
  uint64_t id;                               // a deleted key's never returns
  std::string name;                          // spelling at creation
  std::map<std::string, ModelValue> values;  // by folded name
};

// Keys by folded path below HKLM ("" is HKLM itself, never deleted).
std::map<std::string, ModelKey> g_model;
uint64_t g_next_id;

struct Slot {
  RegKey key;        // null when empty
  std::string path;  // folded path of the key it was opened on
  uint64_t id;       // that key's id in the model
};

Slot g_slots[kHandleSlots];

// Reads program bytes one at a time; zeros once the input is used up.
struct Reader {
  const uint8_t* data;
  size_t size;
  size_t pos;
  uint8_t next() { return pos < size ? data[pos++] : 0; }
  bool done() const { return pos >= size; }
};

std::string parent_of(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string join(const std::string& parent, const std::string& child) {
  return parent.empty() ? child : parent + "\\" + child;
}

bool has_children(const std::string& path) {
  std::string prefix = path + "\\";
  for (const auto& entry : g_model) {
    if (!path.empty() && entry.first.compare(0, prefix.size(), prefix) == 0) {
      return true;
    }
    if (path.empty() && !entry.first.empty()) return true;
  }
  return false;
}

// The children of path, folded, in order.
std::vector<std::string> children_of(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : g_model) {
    if (entry.first.empty() || parent_of(entry.first) != path) continue;
    names.push_back(entry.first.substr(path.empty() ? 0 : path.size() + 1));
  }
  std::sort(names.begin(), names.end());
  return names;
}

RegKey slot_key(const Slot& slot) {
  return slot.key != nullptr ? slot.key : reg_local_machine();
}

std::string slot_path(const Slot& slot) {
  return slot.key != nullptr ? slot.path : "";
}

// True while the key the slot was opened on exists: a key created again
// under the same path is another key.
bool slot_alive(const Slot& slot) {
  auto found = g_model.find(slot_path(slot));
  return found != g_model.end() &&
         (slot.key == nullptr || found->second.id == slot.id);
}

void close_slot(Slot* slot) {
  if (slot->key != nullptr) reg_close_key(slot->key);
  slot->key = nullptr;
  slot->path.clear();
}

// A relative path of one or two names below a slot's key.
std::string relative_path(Reader* in) {
  std::string path = kNames[in->next() % kNameCount];
  if (in->next() % 4 == 0)
    path += std::string("\\") + kNames[in->next() % kNameCount];
  return path;
}

void do_create(Reader* in) {
  Slot& from = g_slots[in->next() % kHandleSlots];
  Slot& into = g_slots[in->next() % kHandleSlots];
  std::string relative = relative_path(in);
  std::string base = slot_path(from);
  RegKey key = nullptr;
  uint32_t disposition = 0;
  StatusCode status = reg_create_key(slot_key(from), relative.c_str(),
                                     W32_KEY_ALL_ACCESS, &key, &disposition);
  if (!slot_alive(from)) {
    FUZZ_CHECK(status == W32_ERROR_KEY_DELETED);
    return;
  }
  FUZZ_CHECK(status == W32_ERROR_SUCCESS);
  std::string path = base;
  bool created = false;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('\\', start);
    if (end == std::string::npos) end = relative.size();
    std::string part = relative.substr(start, end - start);
    path = join(path, fold_text(part));
    if (g_model.count(path) == 0) {
      g_model[path] = ModelKey{++g_next_id, part, {}};
      created = true;
    } else {
      created = false;
    }
    start = end + 1;
  }
  FUZZ_CHECK(disposition ==
             (created ? W32_REG_CREATED_NEW_KEY : W32_REG_OPENED_EXISTING_KEY));
  close_slot(&into);
  into.key = key;
  into.path = path;
  into.id = g_model[path].id;
}

void do_open(Reader* in) {
  Slot& from = g_slots[in->next() % kHandleSlots];
  Slot& into = g_slots[in->next() % kHandleSlots];
  std::string relative = relative_path(in);
  std::string path = slot_path(from);
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('\\', start);
    if (end == std::string::npos) end = relative.size();
    path = join(path, fold_text(relative.substr(start, end - start)));
    start = end + 1;
  }
  RegKey key = nullptr;
  StatusCode status =
      reg_open_key(slot_key(from), relative.c_str(), W32_KEY_ALL_ACCESS, &key);
  if (!slot_alive(from)) {
    FUZZ_CHECK(status == W32_ERROR_KEY_DELETED);
  } else if (g_model.count(path) == 0) {
    FUZZ_CHECK(status == W32_ERROR_FILE_NOT_FOUND);
  } else {
    FUZZ_CHECK(status == W32_ERROR_SUCCESS);
    close_slot(&into);
    into.key = key;
    into.path = path;
    into.id = g_model[path].id;
  }
}

void do_set(Reader* in) {
  Slot& slot = g_slots[in->next() % kHandleSlots];
  std::string name = in->next() % 5 == 0 ? "" : kNames[in->next() % kNameCount];
  uint32_t type = in->next() % 5;
  std::string data;
  size_t length = in->next() % 12;
  for (size_t i = 0; i < length; ++i)
    data.push_back(static_cast<char>(in->next()));
  StatusCode status =
      reg_set_value(slot_key(slot), name.c_str(), type, data.data(),
                    static_cast<uint32_t>(data.size()));
  if (!slot_alive(slot)) {
    FUZZ_CHECK(status == W32_ERROR_KEY_DELETED);
    return;
  }
  FUZZ_CHECK(status == W32_ERROR_SUCCESS);
  // A value written again keeps the spelling it was first written with.
  auto& values = g_model[slot_path(slot)].values;
  auto found = values.find(fold_text(name));
  std::string spelling = found != values.end() ? found->second.name : name;
  values[fold_text(name)] = ModelValue{spelling, type, data};
}

// The size a reader sees: a REG_SZ without its terminator gains one.
uint32_t read_size(const ModelValue& value) {
  bool unterminated = value.type == W32_REG_SZ && !value.data.empty() &&
                      value.data.back() != '\0';
  return static_cast<uint32_t>(value.data.size() + (unterminated ? 1 : 0));
}

void check_data(const ModelValue& value, const char* buffer, uint32_t size) {
  FUZZ_CHECK(size == read_size(value));
  FUZZ_CHECK(std::memcmp(buffer, value.data.data(), value.data.size()) == 0);
  if (size > value.data.size()) FUZZ_CHECK(buffer[value.data.size()] == '\0');
}

void do_query(Reader* in) {
  Slot& slot = g_slots[in->next() % kHandleSlots];
  std::string name = in->next() % 5 == 0 ? "" : kNames[in->next() % kNameCount];
  uint32_t capacity = in->next() % 16;
  char buffer[16];
  uint32_t size = capacity;
  uint32_t type = 99;
  StatusCode status =
      reg_query_value(slot_key(slot), name.c_str(), &type, buffer, &size);
  if (!slot_alive(slot)) {
    FUZZ_CHECK(status == W32_ERROR_KEY_DELETED);
    return;
  }
  const auto& values = g_model[slot_path(slot)].values;
  auto found = values.find(fold_text(name));
  if (found == values.end()) {
    FUZZ_CHECK(status == W32_ERROR_FILE_NOT_FOUND);
    return;
  }
  const ModelValue& value = found->second;
  FUZZ_CHECK(type == value.type);
  if (read_size(value) > capacity) {
    FUZZ_CHECK(status == W32_ERROR_MORE_DATA);
    FUZZ_CHECK(size == read_size(value));
    return;
  }
  FUZZ_CHECK(status == W32_ERROR_SUCCESS);
  check_data(value, buffer, size);
}

void do_enum_keys(Reader* in) {
  Slot& slot = g_slots[in->next() % kHandleSlots];
  bool alive = slot_alive(slot);
  std::vector<std::string> expected =
      alive ? children_of(slot_path(slot)) : std::vector<std::string>();
  uint32_t capacity = 1 + in->next() % 8;
  for (uint32_t index = 0; index <= expected.size(); ++index) {
    char name[16];
    uint32_t length = capacity;
    StatusCode status = reg_enum_key(slot_key(slot), index, name, &length);
    if (!alive) {
      FUZZ_CHECK(status == W32_ERROR_KEY_DELETED);
      return;
    }
    if (index == expected.size()) {
      FUZZ_CHECK(status == W32_ERROR_NO_MORE_ITEMS);
      return;
    }
    if (expected[index].size() >= capacity) {
      FUZZ_CHECK(status == W32_ERROR_MORE_DATA);
      continue;
    }
    FUZZ_CHECK(status == W32_ERROR_SUCCESS);
    std::string path = join(slot_path(slot), expected[index]);
    FUZZ_CHECK(std::string(name, length) == g_model[path].name);
  }
}

void do_enum_values(Reader* in) {
  Slot& slot = g_slots[in->next() % kHandleSlots];
  if (!slot_alive(slot)) {
    char name[16];
    uint32_t length = sizeof name;
    FUZZ_CHECK(reg_enum_value(slot_key(slot), 0, name, &length, nullptr,
                              nullptr, nullptr) == W32_ERROR_KEY_DELETED);
    return;
  }
  const auto& values = g_model[slot_path(slot)].values;
  uint32_t index = 0;
  for (const auto& entry : values) {
    char name[16];
    uint32_t length = sizeof name;
    char data[16];
    uint32_t size = sizeof data;
    uint32_t type = 99;
    StatusCode status = reg_enum_value(slot_key(slot), index++, name, &length,
                                       &type, data, &size);
    FUZZ_CHECK(status == W32_ERROR_SUCCESS);
    FUZZ_CHECK(std::string(name, length) == entry.second.name);
    FUZZ_CHECK(type == entry.second.type);
    check_data(entry.second, data, size);
  }
  char name[16];
  uint32_t length = sizeof name;
  FUZZ_CHECK(reg_enum_value(slot_key(slot), index, name, &length, nullptr,
                            nullptr, nullptr) == W32_ERROR_NO_MORE_ITEMS);
}

void do_delete_key(Reader* in) {
  Slot& slot = g_slots[in->next() % kHandleSlots];
  std::string name = kNames[in->next() % kNameCount];
  StatusCode status = reg_delete_key(slot_key(slot), name.c_str());
  if (!slot_alive(slot)) {
    FUZZ_CHECK(status == W32_ERROR_KEY_DELETED);
    return;
  }
  std::string path = join(slot_path(slot), fold_text(name));
  if (g_model.count(path) == 0) {
    FUZZ_CHECK(status == W32_ERROR_FILE_NOT_FOUND);
  } else if (has_children(path)) {
    FUZZ_CHECK(status == W32_ERROR_ACCESS_DENIED);
  } else {
    FUZZ_CHECK(status == W32_ERROR_SUCCESS);
    g_model.erase(path);
  }
}

void do_delete_value(Reader* in) {
  Slot& slot = g_slots[in->next() % kHandleSlots];
  std::string name = in->next() % 5 == 0 ? "" : kNames[in->next() % kNameCount];
  StatusCode status = reg_delete_value(slot_key(slot), name.c_str());
  if (!slot_alive(slot)) {
    FUZZ_CHECK(status == W32_ERROR_KEY_DELETED);
    return;
  }
  auto& values = g_model[slot_path(slot)].values;
  if (values.erase(fold_text(name)) == 0) {
    FUZZ_CHECK(status == W32_ERROR_FILE_NOT_FOUND);
  } else {
    FUZZ_CHECK(status == W32_ERROR_SUCCESS);
  }
}

// Starts every input on an empty store with no handle open.
void reset_store() {
  for (Slot& slot : g_slots) close_slot(&slot);
  registry_store_reset();
  unlink(g_store_path.c_str());
  unlink((g_store_path + "-journal").c_str());
  unlink((g_store_path + "-wal").c_str());
  unlink((g_store_path + "-shm").c_str());
  g_model.clear();
  g_model[""] = ModelKey{0, "HKEY_LOCAL_MACHINE", {}};
  g_next_id = 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_store_path = make_fuzz_root() + "/registry.db";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  reset_store();
  Reader in{data, size, 0};
  for (size_t step = 0; step < kMaxSteps && !in.done(); ++step) {
    switch (in.next() % 8) {
      case 0:
        do_create(&in);
        break;
      case 1:
        do_open(&in);
        break;
      case 2:
        do_set(&in);
        break;
      case 3:
        do_query(&in);
        break;
      case 4:
        do_enum_keys(&in);
        break;
      case 5:
        do_enum_values(&in);
        break;
      case 6:
        do_delete_key(&in);
        break;
      default:
        do_delete_value(&in);
        break;
    }
  }
  for (Slot& slot : g_slots) close_slot(&slot);
  return 0;
}
