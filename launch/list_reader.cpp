#include "launch/list_reader.h"

#include <algorithm>
#include <cstring>

namespace {

const int kEndOfData = -1;
const int kCtrlZ = 0x1A;

// Makes at least count unread bytes available, unless the file ends first.
void Fill(ListReader& reader, std::size_t count) {
  if (reader.end - reader.next >= count || reader.atEnd) return;
  std::memmove(reader.buffer, reader.buffer + reader.next, reader.end - reader.next);
  reader.end -= reader.next;
  reader.next = 0;
  while (reader.end < count && !reader.atEnd) {
    long read =
        ReadListFile(reader.file, reader.buffer + reader.end, sizeof reader.buffer - reader.end);
    if (read > 0) {
      reader.end += static_cast<std::size_t>(read);
    } else {
      reader.atEnd = true;
      if (read < 0) reader.bad = true;
    }
  }
}

int PeekByte(ListReader& reader, std::size_t offset) {
  Fill(reader, offset + 1);
  if (offset >= reader.end - reader.next) return kEndOfData;
  return static_cast<unsigned char>(reader.buffer[reader.next + offset]);
}

// The next character as text mode delivers it, and the bytes it takes.
int PeekCharacter(ListReader& reader, std::size_t& width) {
  width = 1;
  int c = PeekByte(reader, 0);
  if (c == kCtrlZ) {
    reader.atEnd = true;  // nothing after it is data
    return kEndOfData;
  }
  if (c == '\r' && PeekByte(reader, 1) == '\n') {
    width = 2;
    return '\n';
  }
  return c;
}

}  // namespace

ListReader::~ListReader() {
  if (file != nullptr) CloseListFile(file);
}

void OpenList(ListReader& reader, const char* path) {
  reader.file = OpenListFile(path);
  if (reader.file == nullptr) reader.fail = true;
}

bool ReaderGood(const ListReader& reader) {
  return !reader.eof && !reader.fail && !reader.bad;
}

std::size_t ReadLine(ListReader& reader, char* line, std::size_t size) {
  std::size_t stored = 0;
  bool extracted = false;
  for (;;) {
    // Bytes with no text-mode meaning are copied straight from the buffer, up
    // to the first LF, CR or Ctrl-Z, or as many as still fit.
    std::size_t plain = std::min(reader.end - reader.next, size - 1 - stored);
    const char* from = reader.buffer + reader.next;
    for (int special : {int{'\n'}, int{'\r'}, kCtrlZ}) {
      if (const void* at = std::memchr(from, special, plain)) {
        plain = static_cast<std::size_t>(static_cast<const char*>(at) - from);
      }
    }
    if (plain > 0) {
      std::memcpy(line + stored, from, plain);
      stored += plain;
      reader.next += plain;
      extracted = true;
    }
    std::size_t width;
    int c = PeekCharacter(reader, width);
    if (c == kEndOfData) {
      reader.eof = true;
      break;
    }
    if (c == '\n') {
      reader.next += width;
      extracted = true;
      break;
    }
    if (stored == size - 1) {
      reader.fail = true;
      break;
    }
    line[stored++] = static_cast<char>(c);
    reader.next += width;
    extracted = true;
  }
  line[stored] = '\0';
  if (!extracted) reader.fail = true;
  return stored;
}
