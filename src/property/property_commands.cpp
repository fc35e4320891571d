#include "cli/handlers.h"

int32_t set_handler(OutputMode, int32_t, char* const*) { return -1; }

int32_t props_handler(OutputMode, int32_t, char* const*) { return -1; }

