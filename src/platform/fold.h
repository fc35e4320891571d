// The system's one rule for names and texts compared without regard to case:
// the letters A-Z fold to a-z, and every other byte stands as it is.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

// c with A-Z folded to a-z.
inline char fold_letter(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// text with A-Z folded to a-z.
inline std::string fold_text(std::string text) {
  for (char& c : text) c = fold_letter(c);
  return text;
}

// True when the a_length bytes at a equal the b_length bytes at b once
// folded.
inline bool equal_folded_bytes(const char* a, size_t a_length, const char* b,
                               size_t b_length) {
  if (a_length != b_length) return false;
  for (size_t i = 0; i < a_length; ++i) {
    if (fold_letter(a[i]) != fold_letter(b[i])) return false;
  }
  return true;
}

// True when the texts a and b are equal once folded.
inline bool equal_folded(const char* a, const char* b) {
  return equal_folded_bytes(a, std::strlen(a), b, std::strlen(b));
}
