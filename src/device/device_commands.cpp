#include "cli/handlers.h"

int32_t add_handler(OutputMode, int32_t, char* const*) { return -1; }

int32_t remove_handler(OutputMode, int32_t, char* const*) { return -1; }

int32_t list_handler(OutputMode, int32_t, char* const*) { return -1; }

