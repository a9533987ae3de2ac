#include "access/binary_acl.h"

#include <cstdint>

namespace {

// The ACE types, as Windows numbers them.
enum : unsigned char {
  kAllowed = 0x0,
  kDenied = 0x1,
  kAllowedObject = 0x5,
  kDeniedObject = 0x6,
  kAllowedCallback = 0x9,
  kDeniedCallback = 0xA,
  kAllowedCallbackObject = 0xB,
  kDeniedCallbackObject = 0xC,
};
constexpr std::uint32_t kObjectTypePresent = 0x1;
constexpr std::uint32_t kInheritedObjectTypePresent = 0x2;

std::uint32_t Word16(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0] | at[1] << 8);
}

std::uint32_t Word32(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

}  // namespace

std::string SidText(const unsigned char* sid, std::size_t size) {
  if (size < 8 || sid[0] != 1 || size < 8 + 4u * sid[1]) return "";
  std::uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = authority << 8 | sid[i];  // big-endian
  std::string text = "S-1-" + std::to_string(authority);
  for (std::size_t i = 0; i < sid[1]; ++i) text += "-" + std::to_string(Word32(sid + 8 + 4 * i));
  return text;
}

bool ReadBinaryAcl(const unsigned char* acl, std::size_t size, std::vector<AccessEntry>& entries) {
  if (size < 8 || Word16(acl + 2) > size) return false;
  const std::size_t end = Word16(acl + 2);
  const std::uint32_t count = Word16(acl + 4);
  std::size_t at = 8;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + 4 > end) return false;
    const unsigned char* ace = acl + at;
    const std::size_t aceSize = Word16(ace + 2);
    if (aceSize < 8 || at + aceSize > end) return false;
    at += aceSize;
    const unsigned char type = ace[0];
    const bool object = type == kAllowedObject || type == kDeniedObject ||
                        type == kAllowedCallbackObject || type == kDeniedCallbackObject;
    const bool allow = type == kAllowed || type == kAllowedObject || type == kAllowedCallback ||
                       type == kAllowedCallbackObject;
    const bool deny = type == kDenied || type == kDeniedObject;
    if (!allow && !deny) continue;  // callback denies, audits, alarms and labels
    std::size_t sid = 8;
    if (object) {
      if (aceSize < 12) return false;
      const std::uint32_t flags = Word32(ace + 8);
      if ((flags & kObjectTypePresent) != 0) continue;  // binds an object type only
      sid = 12 + ((flags & kInheritedObjectTypePresent) != 0 ? 16 : 0);
    }
    if (sid > aceSize) return false;
    AccessEntry entry;
    entry.allow = allow;
    entry.flags = ace[1];
    entry.mask = Word32(ace + 4);
    entry.sid = SidText(ace + sid, aceSize - sid);
    if (entry.sid.empty()) return false;
    entries.push_back(entry);
  }
  return true;
}
