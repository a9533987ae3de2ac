#include "platform/code_pages.h"

const unsigned char* BuiltInLeadByteRanges(unsigned codePage) {
  static const unsigned char kShiftJis[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};  // 932
  static const unsigned char kWide[] = {0x81, 0xFE, 0, 0};                  // 936, 949, 950
  static const unsigned char kNone[] = {0, 0};
  switch (codePage) {
    case 932:
      return kShiftJis;
    case 936:
    case 949:
    case 950:
      return kWide;
    default:
      return kNone;
  }
}

bool FillLeadByteTable(bool (&table)[256], const unsigned char* ranges) {
  bool any = false;
  for (bool& entry : table) entry = false;
  // CPINFO holds at most six pairs and needs no end pair when all are used.
  for (int i = 0; i < 12 && (ranges[i] != 0 || ranges[i + 1] != 0); i += 2) {
    for (unsigned c = ranges[i]; c <= ranges[i + 1]; ++c) table[c] = any = true;
  }
  return any;
}
