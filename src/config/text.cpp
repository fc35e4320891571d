#include "config/text.h"

#include "platform/fold.h"

bool equal_folded(const char* a, const char* b) {
  while (*a != '\0' && fold_letter(*a) == fold_letter(*b)) {
    ++a;
    ++b;
  }
  return fold_letter(*a) == fold_letter(*b);
}
