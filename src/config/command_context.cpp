#include "config/command_context.h"

#include "config/os_class.h"
#include "config/status_codes.h"

void context_open(CommandContext* context) {
  *context = CommandContext{};
  context->setup_status = open_setup_info(&context->setup);
}

StatusCode context_setup(const CommandContext* context, SetupInfo* info) {
  if (context == nullptr) return STATUS_NO_ARGUMENT;
  *info = context->setup;
  if (context->setup != nullptr) return 0;
  return context->setup_status != 0 ? context->setup_status
                                    : STATUS_NO_ARGUMENT;
}

StatusCode context_open_root(CommandContext* context, bool write) {
  if (write) {
    StatusCode gate = check_write_access();
    if (gate != 0) return gate;
  }
  SetupInfo info = nullptr;
  StatusCode status = context_setup(context, &info);
  if (status != 0) return status;
  status = read_device_root_path(info, context->root_path);
  if (status != 0) return status;
  status = open_device_root(context->root_path, write, &context->root);
  if (status != 0) return status;
  context->root_writable = write;
  return 0;
}

StatusCode context_lock_root(CommandContext* context) {
  if (context->lock != nullptr) return 0;
  if (context->root == nullptr) return STATUS_NO_ARGUMENT;
  return lock_device_root(context->root_path, &context->lock);
}

void context_close(CommandContext* context) {
  if (context->lock != nullptr) lock_release(context->lock);
  if (context->root != nullptr) reg_close_key(context->root);
  close_setup_info(context->setup);
  *context = CommandContext{};
}
