// Reads the launch list as a text-mode stream, line by line.
//
// Text mode means what it does for the C runtime on Windows, whatever the
// build platform: a CR LF pair reads as LF, any other CR stays, and a Ctrl-Z
// byte ends the data. Lines are read with the rules and the stream flags of
// std::istream::getline, which the rest of the run relies on.
#pragma once

#include <cstddef>

#include "platform/platform.h"

struct ListReader {
  ListFile* file = nullptr;
  char buffer[512] = {};
  std::size_t next = 0;  // first unread byte of buffer
  std::size_t end = 0;   // one past the last byte read into buffer
  bool atEnd = false;    // no bytes left in the file, or Ctrl-Z met
  bool eof = false;
  bool fail = false;
  bool bad = false;

  ListReader() = default;
  ListReader(const ListReader&) = delete;
  ListReader& operator=(const ListReader&) = delete;
  ~ListReader();
};

// Opens the list; when it cannot be opened the reader fails.
void OpenList(ListReader& reader, const char* path);

// None of end-of-file, failure and error is set.
bool ReaderGood(const ListReader& reader);

// Reads up to the next LF, which is taken but not stored. Stores at most
// size - 1 bytes and always terminates the line. Sets:
//   eof         when the data ends after one or more characters;
//   eof + fail  when the data ends before any character;
//   fail        when size - 1 characters are stored and the next one is not
//               an LF or the end; that character is left unread.
// Returns the number of characters stored, which may include zero bytes.
std::size_t ReadLine(ListReader& reader, char* line, std::size_t size);
