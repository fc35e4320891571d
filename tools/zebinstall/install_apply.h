// Applying an InstallPlan to the platform: files into the INF folder
// ($ZEBCFG_ROOT/inf), then the DelReg and AddReg entries into the registry.
#pragma once

#include <cstdint>
#include <string>

#include "install_plan.h"
#include "platform/registry.h"

// What applying a plan did.
struct InstallCounts {
  uint32_t files;    // files copied
  uint32_t written;  // keys created and values written
  uint32_t deleted;  // values and key trees deleted
  uint32_t kept;     // values left as they were (no-clobber)
};

// Copies each file of plan into inf_dir (created when missing), replacing a
// file of that name in one step; a file that already is the target is left.
// 0, or the first failure's code with its reason in *error.
StatusCode apply_copies(const InstallPlan& plan, const std::string& inf_dir,
                        InstallCounts* counts, std::string* error);

// Applies the DelReg entries of plan, then its AddReg entries, in order.
// A DelReg entry whose key or value is absent does nothing. 0, or the first
// failing registry call's code with its reason in *error; the entries before
// it stay applied unless the caller's registry group is abandoned.
StatusCode apply_registry(const InstallPlan& plan, InstallCounts* counts,
                          std::string* error);

// Applies plan: its registry entries (apply_registry) and its files
// (apply_copies) as one group of registry writes, which lands only when every
// entry and file succeeded, so that on the native store a failure leaves the
// registry as it was. Files copied before a failure stay. 0, or the failure's
// code with its reason in *error.
StatusCode apply_install(const InstallPlan& plan, const std::string& inf_dir,
                         InstallCounts* counts, std::string* error);
