// Who can change a file, folder, service or registry key: the owner and DACL
// read as Windows checks access. The folder rule, the checks of what a list
// starts and the audit of an installed service all ask this one model,
// natively from SDDL and on Windows from the real security descriptor.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class ObjectType { kFile, kFolder, kService, kRegistryKey };

// ACE flags, as Windows numbers them.
constexpr unsigned kObjectInherit = 0x1;
constexpr unsigned kContainerInherit = 0x2;
constexpr unsigned kNoPropagate = 0x4;
constexpr unsigned kInheritOnly = 0x8;
constexpr unsigned kInherited = 0x10;

struct AccessEntry {
  bool allow = true;
  unsigned flags = 0;
  std::uint32_t mask = 0;
  std::string sid;  // S-1-... text
};

struct SecurityDescriptor {
  std::string owner;      // S-1-... text; empty when there is none
  bool nullDacl = false;  // no DACL at all: everyone may do anything
  std::vector<AccessEntry> dacl;
};

// The owner and DACL of an SDDL text, such as "O:BAD:P(A;OICI;FA;;;BA)", with
// every well-known abbreviation made its S-1-... SID. False when malformed.
bool ParseSddl(const std::string& sddl, SecurityDescriptor& descriptor);

namespace sid {
constexpr const char* kEveryone = "S-1-1-0";
constexpr const char* kCreatorOwner = "S-1-3-0";
constexpr const char* kOwnerRights = "S-1-3-4";
constexpr const char* kAuthenticatedUsers = "S-1-5-11";
constexpr const char* kSystem = "S-1-5-18";
constexpr const char* kAdministrators = "S-1-5-32-544";
constexpr const char* kUsers = "S-1-5-32-545";
constexpr const char* kTrustedInstaller =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr const char* kAnonymous = "S-1-5-7";
constexpr const char* kSelf = "S-1-5-10";
// SDDL's LA and LG, the machine's own Administrator (who can never leave
// Administrators) and Guest accounts, whose domain part only the machine
// knows: read from SDDL, they stand for it.
constexpr const char* kLocalAdministrator = "S-1-5-21-0-0-0-500";
constexpr const char* kLocalGuest = "S-1-5-21-0-0-0-501";
}  // namespace sid

// The changes an access model tells apart, as bits.
enum Change : unsigned {
  kWrite =
      1,  // a file's data; a folder: add files; a key: set values; a service: its configuration
  kAppend = 2,          // append to a file; a folder: add folders; a key: add subkeys
  kDeleteChildren = 4,  // a folder: delete or rename anything in it, whoever may change that
  kDelete = 8,          // delete or rename it: its own DELETE, or its parent's "delete child"
  kChangeAccess = 16,   // change its DACL: WRITE_DAC, or the owner's implicit right
  kTakeOwnership = 32,  // make oneself its owner
};
constexpr unsigned kAnyChange = 63;
// What lets someone replace whatever lies below a folder: rename or delete
// it, or take it over. Adding files or folders to it does not.
constexpr unsigned kReplace = kDelete | kChangeAccess | kTakeOwnership;

// A well-known principal's name, such as "Everyone"; the SID itself for any other.
std::string WellKnownName(const std::string& principal);

// The principals trusted with the machine: SYSTEM, Administrators,
// TrustedInstaller, and the accounts that are members of Administrators,
// which only the machine can tell: isAdministrator asks it, where there is one.
struct Trusted {
  std::vector<std::string> administrators;  // accounts known to be members
  std::function<bool(const std::string& sid)> isAdministrator;
  // How the machine names a principal, for messages.
  std::string (*nameOf)(const std::string& sid) = WellKnownName;
  bool Has(const std::string& principal) const;
};

struct Changer {
  std::string sid;
  unsigned changes = 0;  // Change bits
};

// Everyone but the trusted who can make any of `changes` to the object, in
// the order they first appear. parent, when given, is the folder it lies in,
// whose "delete child" right lets a principal delete or rename it.
std::vector<Changer> WhoCanChange(const SecurityDescriptor& object, ObjectType type,
                                  const SecurityDescriptor* parent, const Trusted& trusted,
                                  unsigned changes = kAnyChange);

// "Everyone may add files and delete it; BUILTIN\Users may add folders",
// with each principal named by nameOf.
std::string DescribeChangers(const std::vector<Changer>& changers, ObjectType type,
                             std::string (*nameOf)(const std::string& sid));
