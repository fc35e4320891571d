#include "cli/handlers.h"

int32_t msg_handler(OutputMode, int32_t, char* const*) { return -1; }

int32_t wait_handler(OutputMode, int32_t, char* const*) { return -1; }

