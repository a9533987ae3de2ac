#include "launch/list_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform_dry_run.h"
#include "tests/support/temp_folder.h"
#include "text/bounded_text.h"

namespace {

using std::string;

struct Read {
  string line;   // the bytes stored, up to the terminator ReadLine wrote
  string flags;  // "", "eof", "fail", "eof fail"

  bool operator==(const Read& other) const { return line == other.line && flags == other.flags; }
};

std::ostream& operator<<(std::ostream& out, const Read& read) {
  return out << "{" << read.line.size() << " bytes '" << read.line.substr(0, 40) << "' "
             << read.flags << "}";
}

// Reads the whole file the way the run does: while the reader is good.
std::vector<Read> ReadAll(const string& bytes) {
  ResetDryRun();
  TempFolder folder;
  folder.Write("list.dat", bytes);
  ListReader reader;
  OpenList(reader, (folder.path() + "/list.dat").c_str());
  std::vector<Read> reads;
  while (ReaderGood(reader)) {
    LineBuffer line;
    memset(line, '#', sizeof line);
    size_t count = ReadLine(reader, line, sizeof line);
    // ReadLine writes the stored bytes and one terminator over the '#' fill, so
    // the first '#' left shows where it stopped, even past a stored NUL.
    size_t written = 0;
    while (written < sizeof line && line[written] != '#') ++written;
    if (written == 0 || line[written - 1] != '\0') {
      ADD_FAILURE() << "line not terminated";
      break;
    }
    EXPECT_EQ(count, written - 1) << "count of stored characters";
    string stored(line, written - 1);
    string flags = string(reader.eof ? "eof" : "") + (reader.eof && reader.fail ? " " : "") +
                   (reader.fail ? "fail" : "");
    EXPECT_FALSE(reader.bad);
    reads.push_back({stored, flags});
  }
  return reads;
}

struct ReaderCase {
  const char* name;
  string bytes;
  std::vector<Read> reads;
};

TEST(ReadLine, AppliesTextModeAndGetlineFlags) {
  const string x559(559, 'x');
  const ReaderCase cases[] = {
      {"final LF yields one more empty line", "a\nb\n", {{"a", ""}, {"b", ""}, {"", "eof fail"}}},
      {"no final LF", "a\nb", {{"a", ""}, {"b", "eof"}}},
      {"CR LF reads as LF", "a\r\nb\r\n", {{"a", ""}, {"b", ""}, {"", "eof fail"}}},
      {"lone CR stays", "a\rb\n\r", {{"a\rb", ""}, {"\r", "eof"}}},
      {"CR CR LF keeps one CR", "a\r\r\nb", {{"a\r", ""}, {"b", "eof"}}},
      {"blank line is a line", "a\n\nb", {{"a", ""}, {"", ""}, {"b", "eof"}}},
      {"Ctrl-Z ends the data mid-line",
       "ab\x1A"
       "cd\nef\n",
       {{"ab", "eof"}}},
      {"Ctrl-Z right after LF",
       "ab\n\x1A"
       "cd",
       {{"ab", ""}, {"", "eof fail"}}},
      {"CR before Ctrl-Z stays", "ab\r\x1A\n", {{"ab\r", "eof"}}},
      {"empty file", "", {{"", "eof fail"}}},
      {"Ctrl-Z first",
       "\x1A"
       "a\n",
       {{"", "eof fail"}}},
      {"NUL is stored", string("a\0b\nc", 5), {{string("a\0b", 3), ""}, {"c", "eof"}}},
      {"byte-order mark belongs to the line",
       "\xEF\xBB\xBF"
       "a\n",
       {{"\xEF\xBB\xBF"
         "a",
         ""},
        {"", "eof fail"}}},
      {"559 characters then LF", x559 + "\nb", {{x559, ""}, {"b", "eof"}}},
      {"559 characters then CR LF", x559 + "\r\nb", {{x559, ""}, {"b", "eof"}}},
      {"559 characters then the end", x559, {{x559, "eof"}}},
      {"560 characters stop the reading", x559 + "y\nb\n", {{x559, "fail"}}},
      {"600 characters", string(600, 'z'), {{string(559, 'z'), "fail"}}},
      {"CR LF across a buffer refill",
       string(511, 'x') + "\r\nb",
       {{string(511, 'x'), ""}, {"b", "eof"}}},
  };
  for (const ReaderCase& c : cases) {
    EXPECT_EQ(ReadAll(c.bytes), c.reads) << c.name;
  }
}

TEST(ReadLine, MissingListFailsBeforeAnyRead) {
  ResetDryRun();
  TempFolder folder;
  ListReader reader;
  OpenList(reader, (folder.path() + "/absent.dat").c_str());
  EXPECT_TRUE(reader.fail);
  EXPECT_FALSE(ReaderGood(reader));
}

}  // namespace
