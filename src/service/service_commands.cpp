#include "cli/handlers.h"

int32_t stop_handler(OutputMode, int32_t, char* const*) { return -1; }

int32_t restart_handler(OutputMode, int32_t, char* const*) { return -1; }

int32_t reboot_handler(OutputMode, int32_t, char* const*) { return -1; }

