#include "text/bounded_text.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

void ClearTail(char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return;
  buffer[size - 1] = '\0';
  if (size >= 3) buffer[size - 2] = '\0';
}

char* BoundedCopy(char* destination, const char* source, std::size_t size) {
  if (size == 0 || destination == nullptr) return destination;
  if (source == nullptr) {
    destination[0] = '\0';
    return destination;
  }
  ClearTail(destination, size);
  std::strncpy(destination, source, size - 1);
  return destination;
}

void BoundedAppend(char* destination, const char* source, std::size_t size) {
  if (size == 0 || destination == nullptr) return;
  // Bounded by size so that a destination without a terminator is never read past.
  const void* end = std::memchr(destination, '\0', size);
  if (end == nullptr) return;
  std::size_t length = static_cast<const char*>(end) - destination;
  BoundedCopy(destination + length, source, size - length);
}

int BoundedFormatV(char* destination, std::size_t size, const char* format, va_list arguments) {
  if (destination == nullptr || size == 0) return 0;
  if (format == nullptr) {
    destination[0] = '\0';
    return 0;
  }
  ClearTail(destination, size);
  // C99 vsnprintf stores at most size - 1 bytes and then a zero, which lands
  // either right after the text or on the zero ClearTail already put last.
  int length = std::vsnprintf(destination, size, format, arguments);
  if (length < 0 || static_cast<std::size_t>(length) > size - 1) return -1;
  return length;
}

// NOLINTNEXTLINE(cert-dcl50-cpp): printf-style on purpose, so the compiler checks each format.
int BoundedFormat(char* destination, std::size_t size, const char* format, ...) {
  if (destination == nullptr || size == 0) return 0;
  if (format == nullptr) {
    destination[0] = '\0';
    return 0;
  }
  va_list arguments;
  va_start(arguments, format);
  int result = BoundedFormatV(destination, size, format, arguments);
  va_end(arguments);
  return result;
}

std::size_t CharacterLength(const char* p) {
  return IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0' ? 2 : 1;
}

// True when candidate starts a character. boundary is a character boundary
// at or before candidate; it is moved up to the first one at or after it, so
// that candidates taken in order are walked over once in all.
static bool OnBoundary(const char*& boundary, const char* candidate) {
  while (boundary < candidate) boundary += CharacterLength(boundary);
  return boundary == candidate;
}

// The byte searches of the C library find the candidates; the character walk
// runs only over the text before them, and only when there is one.
const char* FindChar(const char* text, char c) {
  // A lead byte is never a character of its own.
  if (c == '\0' || IsLeadByte(static_cast<unsigned char>(c))) return nullptr;
  // Without lead bytes every byte is a character, and the plain search is the answer.
  if (!HasLeadBytes()) return std::strchr(text, c);
  const char* boundary = text;
  for (const char* p = std::strchr(text, c); p != nullptr; p = std::strchr(p + 1, c)) {
    if (OnBoundary(boundary, p)) return p;
  }
  return nullptr;
}

const char* FindLastChar(const char* text, char c) {
  if (!HasLeadBytes()) return c == '\0' ? nullptr : std::strrchr(text, c);
  const char* last = nullptr;
  for (const char* p = text; *p != '\0'; ++p) {
    if (IsLeadByte(static_cast<unsigned char>(*p))) {
      if (*++p == '\0') break;
    } else if (*p == c) {
      last = p;
    }
  }
  return last;
}

const char* FindText(const char* text, const char* pattern) {
  if (!HasLeadBytes()) return std::strstr(text, pattern);
  const char* boundary = text;
  for (const char* p = std::strstr(text, pattern); p != nullptr; p = std::strstr(p + 1, pattern)) {
    if (OnBoundary(boundary, p)) return p;
  }
  return nullptr;
}
