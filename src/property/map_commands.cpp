#include "cli/handlers.h"

int32_t map_list_handler(OutputMode, int32_t, char* const*) { return -1; }

int32_t map_set_handler(OutputMode, int32_t, char* const*) { return -1; }

