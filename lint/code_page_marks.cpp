#include "lint/code_page_marks.h"

#include <algorithm>
#include <initializer_list>

#include "platform/code_pages.h"

namespace {

// The single-byte Windows code pages, 874 and 1250 to 1258, which share the
// no-break space at A0 and the typographic quotes „ ‘ ’ “ ” at 84 and 91 to 94.
bool IsWindowsSingleByte(unsigned codePage) {
  return codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

bool At(const std::string& text, std::size_t at, const char* bytes) {
  return text.compare(at, std::char_traits<char>::length(bytes), bytes) == 0;
}

// The first of marks found at text[at]: its length, or 0.
std::size_t AnyAt(const std::string& text, std::size_t at,
                  std::initializer_list<const char*> marks) {
  const char* const* found = std::find_if(marks.begin(), marks.end(),
                                          [&](const char* mark) { return At(text, at, mark); });
  return found == marks.end() ? 0 : std::char_traits<char>::length(*found);
}

}  // namespace

std::size_t CharacterLengthIn(const std::string& text, std::size_t at, unsigned codePage) {
  if (at + 1 >= text.size()) return 1;
  const auto c = static_cast<unsigned char>(text[at]);
  const unsigned char* ranges = BuiltInLeadByteRanges(codePage);
  for (int i = 0; ranges[i] != 0 || ranges[i + 1] != 0; i += 2) {
    if (c >= ranges[i] && c <= ranges[i + 1]) return 2;
  }
  return 1;
}

bool IsDoubleByteCodePage(unsigned codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

std::size_t OtherSpaceAt(const std::string& text, std::size_t at, unsigned codePage) {
  if (IsWindowsSingleByte(codePage)) return At(text, at, "\xA0") ? 1 : 0;
  switch (codePage) {
    case 932:
      return AnyAt(text, at, {"\x81\x40"});
    case 936:
    case 949:
      return AnyAt(text, at, {"\xA1\xA1"});
    case 950:
      return AnyAt(text, at, {"\xA1\x40"});
    case 65001:  // no-break, figure, narrow no-break and ideographic spaces
      return AnyAt(text, at, {"\xC2\xA0", "\xE2\x80\x87", "\xE2\x80\xAF", "\xE3\x80\x80"});
    default:
      return 0;
  }
}

std::size_t OtherQuoteAt(const std::string& text, std::size_t at, unsigned codePage) {
  if (IsWindowsSingleByte(codePage)) {
    auto c = static_cast<unsigned char>(at < text.size() ? text[at] : 0);
    return c == 0x84 || (c >= 0x91 && c <= 0x94) ? 1 : 0;
  }
  switch (codePage) {
    case 932:
      return AnyAt(text, at, {"\x81\x65", "\x81\x66", "\x81\x67", "\x81\x68"});
    case 936:
    case 949:
      return AnyAt(text, at, {"\xA1\xAE", "\xA1\xAF", "\xA1\xB0", "\xA1\xB1"});
    case 950:
      return AnyAt(text, at, {"\xA1\xA5", "\xA1\xA6", "\xA1\xA7", "\xA1\xA8"});
    case 65001:  // ‘ ’ ‚ “ ” „ and the full-width "
      return AnyAt(text, at,
                   {"\xE2\x80\x98", "\xE2\x80\x99", "\xE2\x80\x9A", "\xE2\x80\x9C", "\xE2\x80\x9D",
                    "\xE2\x80\x9E", "\xEF\xBC\x82"});
    default:
      return 0;
  }
}
