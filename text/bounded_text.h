// Fixed-size text buffers and the only operations that write into them.
//
// Every size is the destination's full byte size, terminator included, so a
// buffer of size n holds at most n - 1 characters. Nothing here allocates or
// reports an error: text that does not fit is cut, by bytes, and the result is
// always terminated. Source and destination never overlap.
#pragma once

#include <cstdarg>
#include <cstddef>

constexpr std::size_t kPathSize = 260;  // MAX_PATH
constexpr std::size_t kLineSize = 560;

typedef char PathBuffer[kPathSize];
typedef char LineBuffer[kLineSize];

// Zeroes the last byte and, when size is 3 or more, the one before it. A null
// buffer or size 0 writes nothing.
void ClearTail(char* buffer, std::size_t size);

// Copies at most size - 1 bytes of source and zero-fills the rest of the
// buffer. A null source empties the destination; size 0 writes nothing.
char* BoundedCopy(char* destination, const char* source, std::size_t size);

// Appends source to the text already in destination, cut at size - 1 bytes in
// all. A destination that is already full is left alone.
void BoundedAppend(char* destination, const char* source, std::size_t size);

// printf into destination, cut at size - 1 bytes. Returns the length stored,
// or -1 when the text was cut. Past the terminator the buffer keeps its old
// bytes, except the two that ClearTail zeroes. A null format empties the
// destination and returns 0.
int BoundedFormatV(char* destination, std::size_t size, const char* format, va_list arguments);
int BoundedFormat(char* destination, std::size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Bytes to the next character boundary of the ANSI code page: 2 for a lead
// byte with its trail byte, else 1. A lead byte right before the terminator
// counts as one byte.
std::size_t CharacterLength(const char* p);

// The searches walk whole characters of the ANSI code page: the two bytes of a
// double-byte character never match a single-byte character or start a match.
// c is a single-byte character other than the terminator.
const char* FindChar(const char* text, char c);
const char* FindLastChar(const char* text, char c);
// An empty pattern matches at the start. Case-sensitive.
const char* FindText(const char* text, const char* pattern);

// Callers cut text at the positions found, so they need them writable.
inline char* FindChar(char* text, char c) {
  return const_cast<char*>(FindChar(static_cast<const char*>(text), c));
}
inline char* FindLastChar(char* text, char c) {
  return const_cast<char*>(FindLastChar(static_cast<const char*>(text), c));
}
inline char* FindText(char* text, const char* pattern) {
  return const_cast<char*>(FindText(static_cast<const char*>(text), pattern));
}
