// Applying an install plan: file copies, then registry deletions and writes,
// in the order SetupAPI's installer uses.
#include "install_apply.h"

#include <filesystem>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_tree.h"

namespace fs = std::filesystem;

namespace {

std::string status_text(StatusCode status) {
  return "status " + std::to_string(status);
}

// Copies one file beside its target, then renames it into place.
StatusCode copy_one(const FileCopy& copy, const std::string& inf_dir,
                    std::string* error) {
  fs::path target = fs::path(inf_dir) / copy.target_name;
  std::error_code failure;
  if (fs::equivalent(copy.source, target, failure)) return W32_ERROR_SUCCESS;
  fs::path staged = target;
  staged += ".zebinstall-new";
  failure.clear();
  fs::copy_file(copy.source, staged, fs::copy_options::overwrite_existing,
                failure);
  if (!failure) fs::rename(staged, target, failure);
  if (!failure) return W32_ERROR_SUCCESS;
  std::error_code ignored;
  fs::remove(staged, ignored);
  *error = copy.where + ": copying " + copy.source + " to " + target.string() +
           " failed: " + failure.message();
  return W32_ERROR_ACCESS_DENIED;
}

bool value_exists(RegKey key, const std::string& name) {
  return reg_query_value(key, name.c_str(), nullptr, nullptr, nullptr) ==
         W32_ERROR_SUCCESS;
}

StatusCode delete_value_entry(const RegEntry& entry, InstallCounts* counts) {
  RegKey key = nullptr;
  StatusCode status = reg_open_key(reg_local_machine(), entry.subkey.c_str(),
                                   W32_KEY_ALL_ACCESS, &key);
  if (status == W32_ERROR_FILE_NOT_FOUND) return W32_ERROR_SUCCESS;
  if (status != W32_ERROR_SUCCESS) return status;
  status = reg_delete_value(key, entry.value_name.c_str());
  reg_close_key(key);
  if (status == W32_ERROR_SUCCESS) counts->deleted++;
  return status == W32_ERROR_FILE_NOT_FOUND ? W32_ERROR_SUCCESS : status;
}

StatusCode delete_tree_entry(const RegEntry& entry, InstallCounts* counts) {
  StatusCode status = delete_key_path(entry.subkey);
  if (status == W32_ERROR_SUCCESS) counts->deleted++;
  return status == W32_ERROR_FILE_NOT_FOUND ? W32_ERROR_SUCCESS : status;
}

StatusCode add_entry(const RegEntry& entry, InstallCounts* counts) {
  RegKey key = nullptr;
  StatusCode status = reg_create_key(reg_local_machine(), entry.subkey.c_str(),
                                     W32_KEY_ALL_ACCESS, &key, nullptr);
  if (status != W32_ERROR_SUCCESS) return status;
  if (entry.kind == RegEntryKind::kCreateKey) {
    counts->written++;
  } else if (entry.no_clobber && value_exists(key, entry.value_name)) {
    counts->kept++;
  } else {
    status = reg_set_value(key, entry.value_name.c_str(), entry.type,
                           entry.data.data(),
                           static_cast<uint32_t>(entry.data.size()));
    if (status == W32_ERROR_SUCCESS) counts->written++;
  }
  reg_close_key(key);
  return status;
}

StatusCode apply_entry(const RegEntry& entry, InstallCounts* counts) {
  switch (entry.kind) {
    case RegEntryKind::kDeleteValue:
      return delete_value_entry(entry, counts);
    case RegEntryKind::kDeleteTree:
      return delete_tree_entry(entry, counts);
    default:
      return add_entry(entry, counts);
  }
}

StatusCode apply_entries(const std::vector<RegEntry>& entries,
                         InstallCounts* counts, std::string* error) {
  for (const RegEntry& entry : entries) {
    StatusCode status = apply_entry(entry, counts);
    if (status != W32_ERROR_SUCCESS) {
      *error = entry.where + ": HKLM\\" + entry.subkey + " failed with " +
               status_text(status);
      return status;
    }
  }
  return W32_ERROR_SUCCESS;
}

}  // namespace

StatusCode apply_copies(const InstallPlan& plan, const std::string& inf_dir,
                        InstallCounts* counts, std::string* error) {
  if (plan.copies.empty()) return W32_ERROR_SUCCESS;
  std::error_code failure;
  fs::create_directories(inf_dir, failure);
  if (failure) {
    *error = "cannot create " + inf_dir + ": " + failure.message();
    return W32_ERROR_ACCESS_DENIED;
  }
  for (const FileCopy& copy : plan.copies) {
    StatusCode status = copy_one(copy, inf_dir, error);
    if (status != W32_ERROR_SUCCESS) return status;
    counts->files++;
  }
  return W32_ERROR_SUCCESS;
}

StatusCode apply_registry(const InstallPlan& plan, InstallCounts* counts,
                          std::string* error) {
  StatusCode status = apply_entries(plan.deletions, counts, error);
  if (status != W32_ERROR_SUCCESS) return status;
  return apply_entries(plan.additions, counts, error);
}

StatusCode apply_install(const InstallPlan& plan, const std::string& inf_dir,
                         InstallCounts* counts, std::string* error) {
  StatusCode status = reg_begin_group();
  if (status != W32_ERROR_SUCCESS) {
    *error = "the store cannot be written: " + status_text(status);
    return status;
  }
  status = apply_registry(plan, counts, error);
  if (status == W32_ERROR_SUCCESS) {
    status = apply_copies(plan, inf_dir, counts, error);
  }
  if (status != W32_ERROR_SUCCESS) {
    reg_abandon_group();
    *error += "; no registry entry was written";
    return status;
  }
  status = reg_end_group();
  if (status != W32_ERROR_SUCCESS) {
    *error = "the registry entries could not be stored (" +
             status_text(status) + "); none was written";
  }
  return status;
}
