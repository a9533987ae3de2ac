#include "access/access_model.h"

#include <algorithm>
#include <cstring>

namespace {

struct WellKnown {
  const char* code;
  const char* sid;
  const char* name;
};
const WellKnown kWellKnown[] = {
    {"WD", sid::kEveryone, "Everyone"},
    {"CO", sid::kCreatorOwner, "CREATOR OWNER"},
    {"CG", "S-1-3-1", "CREATOR GROUP"},
    {"OW", sid::kOwnerRights, "OWNER RIGHTS"},
    {"NU", "S-1-5-2", "NT AUTHORITY\\NETWORK"},
    {nullptr, "S-1-5-3", "NT AUTHORITY\\BATCH"},
    {"IU", "S-1-5-4", "NT AUTHORITY\\INTERACTIVE"},
    {"SU", "S-1-5-6", "NT AUTHORITY\\SERVICE"},
    {"AN", sid::kAnonymous, "NT AUTHORITY\\ANONYMOUS LOGON"},
    {"ED", "S-1-5-9", "NT AUTHORITY\\ENTERPRISE DOMAIN CONTROLLERS"},
    {"PS", sid::kSelf, "NT AUTHORITY\\SELF"},
    {"AU", sid::kAuthenticatedUsers, "NT AUTHORITY\\Authenticated Users"},
    {"RC", "S-1-5-12", "NT AUTHORITY\\RESTRICTED"},
    {"SY", sid::kSystem, "NT AUTHORITY\\SYSTEM"},
    {"LS", "S-1-5-19", "NT AUTHORITY\\LOCAL SERVICE"},
    {"NS", "S-1-5-20", "NT AUTHORITY\\NETWORK SERVICE"},
    {"WR", "S-1-5-33", "NT AUTHORITY\\WRITE RESTRICTED"},
    {"BA", sid::kAdministrators, "BUILTIN\\Administrators"},
    {"BU", sid::kUsers, "BUILTIN\\Users"},
    {"BG", "S-1-5-32-546", "BUILTIN\\Guests"},
    {"PU", "S-1-5-32-547", "BUILTIN\\Power Users"},
    {"AO", "S-1-5-32-548", "BUILTIN\\Account Operators"},
    {"SO", "S-1-5-32-549", "BUILTIN\\Server Operators"},
    {"PO", "S-1-5-32-550", "BUILTIN\\Print Operators"},
    {"BO", "S-1-5-32-551", "BUILTIN\\Backup Operators"},
    {"RE", "S-1-5-32-552", "BUILTIN\\Replicator"},
    {"RU", "S-1-5-32-554", "BUILTIN\\Pre-Windows 2000 Compatible Access"},
    {"RD", "S-1-5-32-555", "BUILTIN\\Remote Desktop Users"},
    {"NO", "S-1-5-32-556", "BUILTIN\\Network Configuration Operators"},
    {"IS", "S-1-5-32-568", "BUILTIN\\IIS_IUSRS"},
    {"AC", "S-1-15-2-1", "ALL APPLICATION PACKAGES"},
    {nullptr, "S-1-15-2-2", "ALL RESTRICTED APPLICATION PACKAGES"},
    {nullptr, sid::kTrustedInstaller, "NT SERVICE\\TrustedInstaller"},
    {"LA", sid::kLocalAdministrator, "the local Administrator account"},
    {"LG", sid::kLocalGuest, "the local Guest account"},
};

// SIDs that an entry names as a placeholder, which Windows replaces when a
// child inherits the entry or matches against what the caller passes: on a
// file, key or service they match no one.
const char* const kPlaceholders[] = {sid::kCreatorOwner, "S-1-3-1",         "S-1-3-2",
                                     "S-1-3-3",          sid::kOwnerRights, sid::kSelf};

// Rights written as letters in SDDL.
struct RightCode {
  const char* code;
  std::uint32_t mask;
};
const RightCode kRightCodes[] = {
    {"GA", 0x10000000}, {"GR", 0x80000000}, {"GW", 0x40000000}, {"GX", 0x20000000},
    {"RC", 0x20000},    {"SD", 0x10000},    {"WD", 0x40000},    {"WO", 0x80000},
    {"RP", 0x10},       {"WP", 0x20},       {"CC", 0x1},        {"DC", 0x2},
    {"LC", 0x4},        {"SW", 0x8},        {"LO", 0x80},       {"DT", 0x40},
    {"CR", 0x100},      {"FA", 0x1F01FF},   {"FR", 0x120089},   {"FW", 0x120116},
    {"FX", 0x1200A0},   {"KA", 0xF003F},    {"KR", 0x20019},    {"KW", 0x20006},
    {"KX", 0x20019},    {"NR", 0},          {"NW", 0},          {"NX", 0},
};

constexpr std::uint32_t kDeleteRight = 0x10000;
constexpr std::uint32_t kReadControl = 0x20000;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kDeleteChildRight = 0x40;

// GENERIC_READ, _WRITE, _EXECUTE and _ALL as each kind of object maps them.
std::uint32_t MapGeneric(std::uint32_t mask, ObjectType type) {
  static const std::uint32_t kMaps[][4] = {
      {0x120089, 0x120116, 0x1200A0, 0x1F01FF},  // files
      {0x120089, 0x120116, 0x1200A0, 0x1F01FF},  // folders
      {0x2008D, 0x20002, 0x201F0, 0xF01FF},      // services
      {0x20019, 0x20006, 0x20019, 0xF003F},      // registry keys
  };
  const std::uint32_t* map = kMaps[static_cast<int>(type)];
  std::uint32_t mapped = mask & 0x00FFFFFF;
  if (mask & 0x80000000) mapped |= map[0];
  if (mask & 0x40000000) mapped |= map[1];
  if (mask & 0x20000000) mapped |= map[2];
  if (mask & 0x10000000) mapped |= map[3];
  return mapped;
}

std::string SidOf(const std::string& text) {
  if (text.compare(0, 2, "S-") == 0) return text;
  auto known =
      std::find_if(std::begin(kWellKnown), std::end(kWellKnown),
                   [&](const WellKnown& one) { return one.code != nullptr && text == one.code; });
  // A domain's own, such as DA, is not known without the domain.
  return known == std::end(kWellKnown) ? text : known->sid;
}

bool ParseRights(const std::string& text, std::uint32_t& mask) {
  mask = 0;
  if (text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0) {
    if (text.size() < 3 || text.size() > 10 ||
        text.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos) {
      return false;
    }
    mask = static_cast<std::uint32_t>(std::stoul(text.substr(2), nullptr, 16));
    return true;
  }
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
    // A right above 32 bits is no right: it must not wrap to a smaller one.
    if (text.size() > 10 || std::stoull(text) > 0xFFFFFFFFull) return false;
    mask = static_cast<std::uint32_t>(std::stoul(text));
    return true;
  }
  if (text.size() % 2 != 0) return false;
  for (std::string::size_type at = 0; at < text.size(); at += 2) {
    auto code =
        std::find_if(std::begin(kRightCodes), std::end(kRightCodes),
                     [&](const RightCode& one) { return text.compare(at, 2, one.code) == 0; });
    if (code == std::end(kRightCodes)) return false;
    mask |= code->mask;
  }
  return true;
}

bool ParseFlags(const std::string& text, unsigned& flags) {
  // OI, CI, NP, IO and ID are the bits 0x1 to 0x10 in turn; SA and FA audit.
  const std::string codes = "OICINPIOIDSAFA";
  flags = 0;
  if (text.size() % 2 != 0) return false;
  for (std::string::size_type at = 0; at < text.size(); at += 2) {
    std::string::size_type code = codes.find(text.substr(at, 2));
    if (code == std::string::npos || code % 2 != 0) return false;
    if (code < 10) flags |= 1u << (code / 2);
  }
  return true;
}

// One "(type;flags;rights;object;inherited object;sid...)".
bool ParseEntry(const std::string& text, std::vector<AccessEntry>& dacl) {
  std::vector<std::string> fields;
  for (std::string::size_type at = 0; at <= text.size();) {
    std::string::size_type end = text.find(';', at);
    if (end == std::string::npos) end = text.size();
    fields.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (fields.size() < 6) return false;
  AccessEntry entry;
  const std::string& type = fields[0];
  // A conditional allow may grant and a conditional deny may not deny: the
  // safer reading takes the first and drops the second. An object entry that
  // names no object type reads as a plain one; one that names a type binds
  // only that type, and a file, key or service is checked with none.
  const bool object = type == "OA" || type == "OD" || type == "ZA";
  if (type == "A" || type == "XA" || type == "OA" || type == "ZA") {
    entry.allow = true;
  } else if (type == "D" || type == "OD") {
    entry.allow = false;
  } else if (type == "XD") {
    return true;
  } else {
    return false;
  }
  if (object && !fields[3].empty()) return true;
  if (!ParseFlags(fields[1], entry.flags) || !ParseRights(fields[2], entry.mask) ||
      fields[5].empty()) {
    return false;
  }
  entry.sid = SidOf(fields[5]);
  dacl.push_back(entry);
  return true;
}

// The DACL part: flags, then entries in brackets, up to the next part or the end.
bool ParseDacl(const std::string& text, SecurityDescriptor& descriptor) {
  std::string::size_type open = text.find('(');
  std::string flags = text.substr(0, open);
  if (flags.find("NO_ACCESS_CONTROL") != std::string::npos) descriptor.nullDacl = true;
  for (std::string::size_type at = open; at != std::string::npos && at < text.size();) {
    if (text[at] != '(') return false;
    std::string::size_type close = text.find(')', at);
    if (close == std::string::npos) return false;
    if (!ParseEntry(text.substr(at + 1, close - at - 1), descriptor.dacl)) return false;
    at = close + 1;
  }
  return true;
}

// The start of the next part ("O:", "G:", "D:" or "S:") from at, outside brackets.
std::string::size_type NextPart(const std::string& sddl, std::string::size_type at) {
  int depth = 0;
  for (; at + 1 < sddl.size(); ++at) {
    if (sddl[at] == '(') ++depth;
    if (sddl[at] == ')') --depth;
    if (depth == 0 && sddl[at + 1] == ':' && std::strchr("OGDS", sddl[at]) != nullptr) return at;
  }
  return std::string::npos;
}

bool HasSid(const std::vector<std::string>& token, const std::string& sid) {
  return std::find(token.begin(), token.end(), sid) != token.end();
}

// The rights a token holds on an object, as AccessCheck walks the DACL:
// entries in order, a denied bit never granted later; the owner's implicit
// READ_CONTROL and WRITE_DAC first, unless an OWNER RIGHTS entry says what
// the owner may do. Inherit-only entries bind children, not the object; a
// CREATOR OWNER entry on the object itself matches no one.
std::uint32_t RightsOf(const std::vector<std::string>& token, const SecurityDescriptor& object,
                       ObjectType type) {
  if (object.nullDacl) return MapGeneric(0x10000000, type) | kWriteDac | kWriteOwner;
  bool owner = !object.owner.empty() && HasSid(token, object.owner);
  bool ownerRights = std::any_of(object.dacl.begin(), object.dacl.end(), [](const AccessEntry& e) {
    return (e.flags & kInheritOnly) == 0 && e.sid == sid::kOwnerRights;
  });
  std::uint32_t granted = owner && !ownerRights ? kReadControl | kWriteDac : 0;
  std::uint32_t denied = 0;
  for (const AccessEntry& entry : object.dacl) {
    if ((entry.flags & kInheritOnly) != 0) continue;
    bool applies = HasSid(token, entry.sid) || (owner && entry.sid == sid::kOwnerRights);
    if (!applies) continue;
    std::uint32_t mask = MapGeneric(entry.mask, type);
    if (entry.allow) {
      granted |= mask & ~denied;
    } else {
      denied |= mask & ~granted;
    }
  }
  return granted;
}

unsigned ChangesOf(std::uint32_t rights, ObjectType type) {
  unsigned changes = 0;
  if (rights & 0x2) changes |= kWrite;
  if ((rights & 0x4) && type != ObjectType::kService) changes |= kAppend;
  if ((rights & kDeleteChildRight) && type == ObjectType::kFolder) changes |= kDeleteChildren;
  if (rights & kDeleteRight) changes |= kDelete;
  if (rights & kWriteDac) changes |= kChangeAccess;
  if (rights & kWriteOwner) changes |= kTakeOwnership;
  return changes;
}

bool EndsWith(const std::string& text, const char* end) {
  const std::string::size_type size = std::strlen(end);
  return text.size() >= size && text.compare(text.size() - size, size, end) == 0;
}

// A guest: the Guest account of a machine or domain (RID 501), or the Guests group.
bool IsGuest(const std::string& principal) {
  return principal == "S-1-5-32-546" ||
         (principal.compare(0, 9, "S-1-5-21-") == 0 && EndsWith(principal, "-501"));
}

// The groups a principal's token holds besides itself: every account is in
// Everyone, and every one that has signed in, but a guest, in Authenticated
// Users. Anonymous holds neither, as Windows sets it by default.
std::vector<std::string> TokenOf(const std::string& principal) {
  std::vector<std::string> token = {principal};
  if (principal == sid::kEveryone || principal == sid::kAnonymous) return token;
  token.push_back(sid::kEveryone);
  if (!IsGuest(principal) && principal != sid::kAuthenticatedUsers) {
    token.push_back(sid::kAuthenticatedUsers);
  }
  return token;
}

const char* ChangeWords(unsigned change, ObjectType type) {
  bool folder = type == ObjectType::kFolder;
  switch (change) {
    case kWrite:
      return folder                             ? "add files"
             : type == ObjectType::kService     ? "change its configuration"
             : type == ObjectType::kRegistryKey ? "set values"
                                                : "write";
    case kAppend:
      return folder ? "add folders" : type == ObjectType::kRegistryKey ? "add subkeys" : "append";
    case kDeleteChildren:
      return "delete what it holds";
    case kDelete:
      return "delete or rename it";
    case kChangeAccess:
      return "change its access";
    default:
      return "take ownership";
  }
}

}  // namespace

bool ParseSddl(const std::string& sddl, SecurityDescriptor& descriptor) {
  descriptor = SecurityDescriptor();
  std::string::size_type at = NextPart(sddl, 0);
  if (at != 0) return false;
  descriptor.nullDacl = true;  // with no D: part there is no DACL: open to all
  while (at != std::string::npos) {
    std::string::size_type next = NextPart(sddl, at + 2);
    std::string value = sddl.substr(at + 2, next == std::string::npos ? next : next - at - 2);
    if (sddl[at] == 'O') {
      if (value.empty()) return false;
      descriptor.owner = SidOf(value);
    } else if (sddl[at] == 'D') {
      descriptor.nullDacl = false;
      if (!ParseDacl(value, descriptor)) return false;
    }  // the group and the SACL play no part in access
    at = next;
  }
  return true;
}

bool Trusted::Has(const std::string& principal) const {
  return principal == sid::kSystem || principal == sid::kAdministrators ||
         principal == sid::kTrustedInstaller || principal == sid::kLocalAdministrator ||
         HasSid(administrators, principal) ||
         (isAdministrator != nullptr && isAdministrator(principal));
}

std::vector<Changer> WhoCanChange(const SecurityDescriptor& object, ObjectType type,
                                  const SecurityDescriptor* parent, const Trusted& trusted,
                                  unsigned changes) {
  // Who could hold a right: the owner, everyone any entry allows, and
  // Everyone, whom a null DACL allows all.
  std::vector<std::string> principals;
  auto consider = [&](const std::string& principal) {
    bool placeholder = std::any_of(std::begin(kPlaceholders), std::end(kPlaceholders),
                                   [&](const char* one) { return principal == one; });
    if (!principal.empty() && !placeholder && !HasSid(principals, principal) &&
        !trusted.Has(principal)) {
      principals.push_back(principal);
    }
  };
  consider(object.owner);
  if (object.nullDacl || (parent != nullptr && parent->nullDacl)) consider(sid::kEveryone);
  for (const SecurityDescriptor* one : {&object, parent}) {
    if (one == nullptr) continue;
    for (const AccessEntry& entry : one->dacl) {
      if (entry.allow && (entry.flags & kInheritOnly) == 0) consider(entry.sid);
    }
  }
  auto changesOf = [&](const std::vector<std::string>& token) {
    unsigned can = ChangesOf(RightsOf(token, object, type), type);
    if (parent != nullptr &&
        (RightsOf(token, *parent, ObjectType::kFolder) & kDeleteChildRight) != 0) {
      can |= kDelete;
    }
    return can & changes;
  };
  // What every signed-in user may do is said once, of the group that grants it.
  const unsigned everyUser = changesOf(TokenOf(sid::kAuthenticatedUsers));
  std::vector<Changer> changers;
  for (const std::string& principal : principals) {
    unsigned can = changesOf(TokenOf(principal));
    bool broader = principal == sid::kEveryone || principal == sid::kAuthenticatedUsers;
    if (can != 0 && (broader || (can & ~everyUser) != 0)) changers.push_back({principal, can});
  }
  return changers;
}

std::string WellKnownName(const std::string& principal) {
  const WellKnown* known = std::find_if(std::begin(kWellKnown), std::end(kWellKnown),
                                        [&](const WellKnown& one) { return principal == one.sid; });
  return known == std::end(kWellKnown) ? principal : std::string(known->name);
}

std::string DescribeChangers(const std::vector<Changer>& changers, ObjectType type,
                             std::string (*nameOf)(const std::string& sid)) {
  std::string text;
  for (const Changer& changer : changers) {
    std::vector<const char*> words;
    for (unsigned change = 1; change <= kTakeOwnership; change <<= 1) {
      if (changer.changes & change) words.push_back(ChangeWords(change, type));
    }
    text += (text.empty() ? "" : "; ") + nameOf(changer.sid) + " may ";
    for (std::size_t i = 0; i < words.size(); ++i) {
      text += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + std::string(words[i]);
    }
  }
  return text;
}
