#include "text/bounded_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform_dry_run.h"

namespace {

using std::string;

// Whole-buffer results: every case runs on an 8-byte buffer filled with '#',
// so bytes past size show that nothing outside the destination was touched.
const char kFill = '#';
const size_t kArea = 8;

string Bytes(const char* text, size_t length) {
  return string(text, length);
}

struct CopyCase {
  const char* name;
  size_t size;
  const char* source;
  string expected;
};

TEST(BoundedCopy, WritesExactlyTheDestinationWithZeroFill) {
  const CopyCase cases[] = {
      {"size 0 writes nothing", 0, "abc", "########"},
      {"size 1 holds only the terminator", 1, "abc", Bytes("\0#######", 8)},
      {"size 2 holds one byte", 2, "abc", Bytes("a\0######", 8)},
      {"size 3 holds two bytes", 3, "abc", Bytes("ab\0#####", 8)},
      {"shorter source is zero-filled", 6, "ab", Bytes("ab\0\0\0\0##", 8)},
      {"exact fit", 4, "abc", Bytes("abc\0####", 8)},
      {"one over is cut", 4, "abcd", Bytes("abc\0####", 8)},
      {"two over is cut", 4, "abcde", Bytes("abc\0####", 8)},
      {"empty source zeroes the whole size", 4, "", Bytes("\0\0\0\0####", 8)},
      {"null source zeroes the first byte only", 4, nullptr, Bytes("\0#######", 8)},
  };
  for (const CopyCase& c : cases) {
    char buffer[kArea];
    memset(buffer, kFill, sizeof buffer);
    EXPECT_EQ(BoundedCopy(buffer, c.source, c.size), buffer) << c.name;
    EXPECT_EQ(Bytes(buffer, kArea), c.expected) << c.name;
  }
  EXPECT_EQ(BoundedCopy(nullptr, "abc", 4), nullptr);
}

TEST(BoundedCopy, PathBufferKeeps259CharactersAndZeroFillsTheRest) {
  PathBuffer path;
  memset(path, kFill, sizeof path);
  BoundedCopy(path, string(300, 'x').c_str(), sizeof path);
  EXPECT_EQ(Bytes(path, sizeof path), string(259, 'x') + '\0');

  memset(path, kFill, sizeof path);
  BoundedCopy(path, "0123456789", sizeof path);
  EXPECT_EQ(Bytes(path, sizeof path), "0123456789" + string(250, '\0'));
}

TEST(BoundedCopy, CutsByBytesEvenInsideADoubleByteCharacter) {
  ResetDryRun(932);
  char buffer[kArea];
  memset(buffer, kFill, sizeof buffer);
  BoundedCopy(buffer, "ab\x83\x5C", 4);
  EXPECT_EQ(Bytes(buffer, kArea), Bytes("ab\x83\0####", 8));
}

struct AppendCase {
  const char* name;
  string before;  // the first 8 bytes of the buffer
  size_t size;
  const char* source;
  string expected;
};

TEST(BoundedAppend, CutsTheCombinedTextAtSizeMinusOne) {
  const AppendCase cases[] = {
      {"fits", Bytes("ab\0#####", 8), 6, "cd", Bytes("abcd\0\0##", 8)},
      {"cut at size - 1", Bytes("ab\0#####", 8), 6, "cdefg", Bytes("abcde\0##", 8)},
      {"full destination unchanged", Bytes("abcde\0##", 8), 6, "x", Bytes("abcde\0##", 8)},
      {"one free byte gains one character", Bytes("abcd\0###", 8), 6, "xyz", Bytes("abcdx\0##", 8)},
      {"empty destination", Bytes("\0#######", 8), 4, "abcdef", Bytes("abc\0####", 8)},
      {"size 0 writes nothing", Bytes("\0#######", 8), 0, "abc", Bytes("\0#######", 8)},
      {"unterminated destination is not read past", "########", 6, "x", "########"},
  };
  for (const AppendCase& c : cases) {
    char buffer[kArea];
    memcpy(buffer, c.before.data(), kArea);
    BoundedAppend(buffer, c.source, c.size);
    EXPECT_EQ(Bytes(buffer, kArea), c.expected) << c.name;
  }
}

TEST(BoundedAppend, PathBufferWith258CharactersGainsExactlyOne) {
  PathBuffer path;
  BoundedCopy(path, string(258, 'a').c_str(), sizeof path);
  BoundedAppend(path, "bc", sizeof path);
  EXPECT_EQ(Bytes(path, sizeof path), string(258, 'a') + "b" + '\0');
  BoundedAppend(path, "c", sizeof path);
  EXPECT_EQ(Bytes(path, sizeof path), string(258, 'a') + "b" + '\0');
}

struct FormatCase {
  const char* name;
  size_t size;
  const char* format;
  const char* argument;
  int result;
  string expected;
};

// BoundedFormatV on its own, without BoundedFormat's checks in front of it.
// NOLINTNEXTLINE(cert-dcl50-cpp): it must hand on a va_list, as BoundedFormat does.
int FormatThroughV(char* destination, size_t size, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int result = BoundedFormatV(destination, size, format, arguments);
  va_end(arguments);
  return result;
}

TEST(BoundedFormat, StoresTextAndLeavesTheBytesBetweenAlone) {
  const FormatCase cases[] = {
      {"short text keeps the bytes before the tail", 8, "%s", "abc", 3, Bytes("abc\0##\0\0", 8)},
      {"size - 2 characters", 8, "%s", "abcdef", 6, Bytes("abcdef\0\0", 8)},
      {"exactly size - 1 characters", 8, "%s", "abcdefg", 7, Bytes("abcdefg\0", 8)},
      {"one over is cut", 8, "<%s>", "abcdefg", -1, Bytes("<abcdef\0", 8)},
      {"size 3", 3, "%s", "x", 1, Bytes("x\0\0#####", 8)},
      {"size 3 clears both tail bytes", 3, "%s", "", 0, Bytes("\0\0\0#####", 8)},
      {"size 2 cut", 2, "%s", "ab", -1, Bytes("a\0######", 8)},
      {"size 1 cut", 1, "%s", "ab", -1, Bytes("\0#######", 8)},
      {"size 1 empty result", 1, "%s", "", 0, Bytes("\0#######", 8)},
      {"size 0 writes nothing", 0, "%s", "ab", 0, "########"},
      {"null format empties", 8, nullptr, "ab", 0, Bytes("\0#######", 8)},
  };
  for (const FormatCase& c : cases) {
    for (auto format : {BoundedFormat, FormatThroughV}) {
      char buffer[kArea];
      memset(buffer, kFill, sizeof buffer);
      EXPECT_EQ(format(buffer, c.size, c.format, c.argument), c.result) << c.name;
      EXPECT_EQ(Bytes(buffer, kArea), c.expected) << c.name;
    }
  }
  EXPECT_EQ(BoundedFormat(nullptr, 8, "%s", "ab"), 0);
  // Size 0 touches nothing, not even the byte before the destination.
  char guarded[kArea];
  memset(guarded, kFill, sizeof guarded);
  for (auto format : {BoundedFormat, FormatThroughV}) {
    EXPECT_EQ(format(guarded + 1, 0, "%s", "ab"), 0);
    EXPECT_EQ(format(nullptr, 8, nullptr, "ab"), 0);
  }
  ClearTail(guarded + 1, 0);
  ClearTail(nullptr, 8);  // no destination: nothing to write, and no fault
  EXPECT_EQ(Bytes(guarded, kArea), "########");
}

TEST(BoundedFormat, PathBufferStores259AndCuts400) {
  PathBuffer path;
  memset(path, kFill, sizeof path);
  EXPECT_EQ(BoundedFormat(path, sizeof path, "\"%s\"", string(257, 'x').c_str()), 259);
  EXPECT_EQ(Bytes(path, sizeof path), "\"" + string(257, 'x') + "\"" + '\0');

  memset(path, kFill, sizeof path);
  EXPECT_EQ(
      BoundedFormat(path, sizeof path, "%s%s", string(200, 'a').c_str(), string(200, 'b').c_str()),
      -1);
  EXPECT_EQ(Bytes(path, sizeof path), string(200, 'a') + string(59, 'b') + '\0');
}

const int kNone = -1;

int Offset(const char* text, const char* found) {
  return found ? int(found - text) : kNone;
}

struct SearchCase {
  unsigned codePage;
  const char* text;
  const char* what;  // a single character for FindChar and FindLastChar
  int first;         // FindChar
  int last;          // FindLastChar
};

TEST(Searches, WalkWholeCharactersOfTheCodePage) {
  // c:\ then 83 5C 83 74 83 67 .bin: 0x5C is a trail byte in 932 only.
  const char* kPath = "c:\\\x83\x5C\x83\x74\x83\x67.bin";
  const SearchCase cases[] = {
      {1252, kPath, "\\", 2, 4},
      {932, kPath, "\\", 2, 2},
      {1252,
       "\x83\x5C"
       "abc\\",
       "\\", 1, 5},
      {932,
       "\x83\x5C"
       "abc\\",
       "\\", 5, 5},
      {1252, "a\\b\x83", "\\", 1, 1},
      {932, "a\\b\x83", "\\", 1, 1},
      {932, "ab\x83", "b", 1, 1},
      {932, "ab\x83", "\x83", kNone, kNone},  // a lead byte before the terminator is no character
      {932,
       "\x83"
       " x",
       " ", kNone, kNone},  // 0x20 is a trail byte here
      {1252,
       "\x83"
       " x",
       " ", 1, 1},
      {936, "\x81@ @", "@", 3, 3},
      {949, "\xB0\x5C\\", "\\", 2, 2},
      {950, "\xA5\x5C", "\\", kNone, kNone},
      {1252, "no backslash", "\\", kNone, kNone},
      {1252, "", "\\", kNone, kNone},
  };
  for (const SearchCase& c : cases) {
    ResetDryRun(c.codePage);
    EXPECT_EQ(Offset(c.text, FindChar(c.text, c.what[0])), c.first)
        << c.codePage << " FindChar in " << c.text;
    EXPECT_EQ(Offset(c.text, FindLastChar(c.text, c.what[0])), c.last)
        << c.codePage << " FindLastChar in " << c.text;
  }
}

TEST(Searches, FindTextStartsOnlyOnCharacterBoundaries) {
  const SearchCase cases[] = {
      {1252, "run msiexec.exe /p x", "msiexec.exe", 4, 0},
      {1252, "RUN MSIEXEC.EXE", "msiexec.exe", kNone, 0},
      {1252, "short", "longer than text", kNone, 0},
      {1252, "abc", "", 0, 0},
      {1252, "", "", 0, 0},
      {1252, "abc", "abc", 0, 0},
      {1252, "abcabc", "bc", 1, 0},
      {1252,
       "\x83"
       "msiexec.exe",
       "msiexec.exe", 1, 0},
      {932,
       "\x83"
       "msiexec.exe",
       "msiexec.exe", kNone, 0},  // 'm' is a trail byte
      {932, "\x83\x5C\\x", "\\x", 2, 0},
      {932, "\x83\x5Cx", "\\x", kNone, 0},
      {932, "\x83\x5C\x5C", "\\", 2, 0},  // the next candidate after a rejected one
      {1252, "\x83\x5Cx", "\\x", 1, 0},
      {932, "ab\x83", "\x83", 2, 0},  // lone lead byte before the terminator
      {932, "\x83\x83\x83", "\x83", 0, 0},
      {932, "x\x83\x83\x83", "\x83\x83", 1, 0},
      {932, "\x83\x83y", "\x83y", kNone, 0},
      {1252, "\x83\x83y", "\x83y", 1, 0},
  };
  for (const SearchCase& c : cases) {
    ResetDryRun(c.codePage);
    EXPECT_EQ(Offset(c.text, FindText(c.text, c.what)), c.first)
        << c.codePage << " '" << c.what << "' in '" << c.text << "'";
  }
}

}  // namespace
