#include "config/text.h"

namespace {

char fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool equal_folded(const char* a, const char* b) {
  while (*a != '\0' && fold(*a) == fold(*b)) {
    ++a;
    ++b;
  }
  return fold(*a) == fold(*b);
}
