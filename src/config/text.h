// Comparing 8-bit text the way the system does throughout.
#pragma once

// Compares two texts folding only A-Z to a-z: true when equal.
bool equal_folded(const char* a, const char* b);
