// Fuzzes the bounded operations and the searches. Every destination is a heap
// block of exactly its size, so AddressSanitizer sees a write one byte past it;
// every result is checked against the byte contract after the call.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform_dry_run.h"
#include "tests/support/require.h"
#include "text/bounded_text.h"

namespace {

// Input: a byte whose bit 0 picks code page 932 over 1252 and whose other
// bits pick the operation, two bytes of destination size, then fields split
// at LF: the destination's old bytes, then the texts the operation takes.
struct Input {
  bool doubleByte = false;
  int operation = 0;
  std::size_t size = 0;
  std::string before;
  std::vector<std::string> texts;  // cut at their first zero, as C strings are
};

Input Parse(const std::uint8_t* bytes, std::size_t count) {
  Input input;
  input.texts.resize(4);
  if (count < 3) return input;
  input.doubleByte = (bytes[0] & 1) != 0;
  input.operation = (bytes[0] >> 1) % 5;
  input.size = (bytes[1] | bytes[2] << 8) % 601;
  std::string rest(reinterpret_cast<const char*>(bytes) + 3, count - 3);
  std::vector<std::string> fields;
  for (std::string::size_type start = 0;;) {
    std::string::size_type end = rest.find('\n', start);
    fields.push_back(rest.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  input.before = fields[0];
  input.before.resize(input.size, '#');
  for (std::size_t i = 1; i < 5 && i < fields.size(); ++i) {
    input.texts[i - 1] = fields[i].substr(0, fields[i].find('\0'));
  }
  return input;
}

// The lead bytes of code page 932, written out here rather than taken from the
// code under test.
bool ReferenceLead(bool doubleByte, unsigned char c) {
  return doubleByte && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

// The next character boundary: a lead byte with a byte after it makes one
// two-byte character; a lead byte at the very end is one byte.
std::string::size_type NextBoundary(bool doubleByte, const std::string& text,
                                    std::string::size_type at) {
  if (ReferenceLead(doubleByte, static_cast<unsigned char>(text[at])) && at + 1 < text.size()) {
    return at + 2;
  }
  return at + 1;
}

long ReferenceFindChar(bool doubleByte, const std::string& text, char c, bool last) {
  long found = -1;
  for (std::string::size_type at = 0; at < text.size(); at = NextBoundary(doubleByte, text, at)) {
    if (ReferenceLead(doubleByte, static_cast<unsigned char>(text[at]))) {
      if (at + 1 == text.size()) return last ? found : -1;
      continue;
    }
    if (text[at] == c) {
      found = static_cast<long>(at);
      if (!last) return found;
    }
  }
  return found;
}

long ReferenceFindText(bool doubleByte, const std::string& text, const std::string& pattern) {
  for (std::string::size_type at = 0; text.size() - at >= pattern.size();
       at = NextBoundary(doubleByte, text, at)) {
    if (text.compare(at, pattern.size(), pattern) == 0) return static_cast<long>(at);
    if (at == text.size()) break;
  }
  return -1;
}

long Offset(const char* found, const char* text) {
  return found == nullptr ? -1 : static_cast<long>(found - text);
}

void FuzzCopy(const Input& input) {
  const std::size_t size = input.size;
  const std::string& before = input.before;
  const std::string& source = input.texts[0];
  bool nullSource = input.texts[1] == "null";
  Block destination(before);
  Block sourceBlock(source + '\0');
  char* result = BoundedCopy(destination.bytes, nullSource ? nullptr : sourceBlock.bytes, size);
  Require(result == destination.bytes, "copy returns its destination");
  std::string expected = before;
  if (size > 0 && nullSource) {
    expected[0] = '\0';
  } else if (size > 0) {
    std::size_t kept = std::min(source.size(), size - 1);
    expected.replace(0, kept, source, 0, kept);
    std::fill(expected.begin() + static_cast<long>(kept), expected.end(), '\0');
  }
  Require(std::memcmp(destination.bytes, expected.data(), size) == 0, "copy bytes");
}

void FuzzAppend(const Input& input) {
  const std::size_t size = input.size;
  const std::string& before = input.before;
  const std::string& source = input.texts[0];
  Block destination(before);
  Block sourceBlock(source + '\0');
  BoundedAppend(destination.bytes, sourceBlock.bytes, size);
  std::string expected = before;
  std::string::size_type length = before.find('\0');
  if (length != std::string::npos) {
    std::size_t kept = std::min(source.size(), size - 1 - length);
    expected.replace(length, kept, source, 0, kept);
    std::fill(expected.begin() + static_cast<long>(length + kept), expected.end(), '\0');
  }
  Require(std::memcmp(destination.bytes, expected.data(), size) == 0, "append bytes");
}

void FuzzFormat(const Input& input) {
  const std::size_t size = input.size;
  const std::string& before = input.before;
  const std::string& first = input.texts[0];
  const std::string& second = input.texts[1];
  const std::string& third = input.texts[2];
  Block destination(before);
  // The formats the system uses, nothing else.
  int result;
  std::string full;
  switch (input.texts[3].size() % 3) {
    case 0:
      result = BoundedFormat(destination.bytes, size, "%s", first.c_str());
      full = first;
      break;
    case 1:
      result = BoundedFormat(destination.bytes, size, "\"%s\\%s\"", first.c_str(), second.c_str());
      full = "\"" + first + "\\" + second + "\"";
      break;
    default:
      result = BoundedFormat(destination.bytes, size, "\"%s\"%s%s\\%s", first.c_str(), " /p ",
                             second.c_str(), third.c_str());
      full = "\"" + first + "\" /p " + second + "\\" + third;
      break;
  }
  std::string expected = before;
  if (size == 0) {
    Require(result == 0, "format into nothing returns 0");
    return;
  }
  expected[size - 1] = '\0';
  if (size >= 3) expected[size - 2] = '\0';
  std::size_t stored = std::min(full.size(), size - 1);
  expected.replace(0, stored, full, 0, stored);
  expected[stored] = '\0';
  Require(result == (full.size() <= size - 1 ? static_cast<int>(full.size()) : -1),
          "format result");
  Require(std::memcmp(destination.bytes, expected.data(), size) == 0, "format bytes");
}

void FuzzSearches(const Input& input) {
  const bool doubleByte = input.doubleByte;
  const std::string& text = input.texts[0];
  const std::string& pattern = input.texts[1];
  char c = input.texts[2].empty() ? '\\' : input.texts[2][0];
  Block textBlock(text + '\0');
  Block patternBlock(pattern + '\0');
  const char* t = textBlock.bytes;
  Require(Offset(FindChar(t, c), t) == ReferenceFindChar(doubleByte, text, c, false), "FindChar");
  Require(Offset(FindLastChar(t, c), t) == ReferenceFindChar(doubleByte, text, c, true),
          "FindLastChar");
  Require(
      Offset(FindText(t, patternBlock.bytes), t) == ReferenceFindText(doubleByte, text, pattern),
      "FindText");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t count) {
  Input input = Parse(bytes, count);
  ResetDryRun(input.doubleByte ? 932 : 1252);
  switch (input.operation) {
    case 0:
      FuzzCopy(input);
      break;
    case 1:
      FuzzAppend(input);
      break;
    case 2:
      FuzzFormat(input);
      break;
    case 3:
      if (input.size > 0) {
        Block buffer(input.before);
        ClearTail(buffer.bytes, input.size);
        std::string expected = input.before;
        expected[input.size - 1] = '\0';
        if (input.size >= 3) expected[input.size - 2] = '\0';
        Require(std::memcmp(buffer.bytes, expected.data(), input.size) == 0, "ClearTail bytes");
      }
      break;
    default:
      FuzzSearches(input);
      break;
  }
  return 0;
}
