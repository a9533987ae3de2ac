#include "access/access_model.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "access/binary_acl.h"

namespace {

using std::string;

const char kTrustedInstaller[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const char kAccount[] = "S-1-5-21-1-2-3-1001";

string Verdict(const string& sddl, ObjectType type, const string& parentSddl,
               const Trusted& trusted) {
  SecurityDescriptor object;
  SecurityDescriptor parent;
  if (!ParseSddl(sddl, object) || (!parentSddl.empty() && !ParseSddl(parentSddl, parent))) {
    return "unparsed";
  }
  return DescribeChangers(
      WhoCanChange(object, type, parentSddl.empty() ? nullptr : &parent, trusted), type,
      WellKnownName);
}

// Each row: a descriptor as Windows sets it by default, and who besides the
// trusted can change the object. The folders the service's rules turn on.
TEST(AccessModel, WindowsDefaults) {
  const string kTi = kTrustedInstaller;
  const string kUser = kAccount;
  const ObjectType folder = ObjectType::kFolder;
  const struct {
    const char* what;
    string sddl;
    string changers;
  } cases[] = {
      {"a drive root",
       "O:" + kTi + "G:" + kTi +
           "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
           "(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)",
       "NT AUTHORITY\\Authenticated Users may add folders"},
      {"Program Files",
       "O:" + kTi + "G:" + kTi + "D:PAI(A;;FA;;;" + kTi + ")(A;CIIO;GA;;;" + kTi +
           ")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
           "(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;AC)"
           "(A;OICIIO;GXGR;;;AC)(A;;0x1200a9;;;S-1-15-2-2)(A;OICIIO;GXGR;;;S-1-15-2-2)",
       ""},
      {"ProgramData",
       "O:SYG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)"
       "(A;CI;DCLCRPCR;;;BU)",
       "BUILTIN\\Users may add files and add folders"},
      {"the Windows folder",
       "O:" + kTi + "G:" + kTi +
           "D:PAI(A;OICIIO;GA;;;CO)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;BA)"
           "(A;;0x1301bf;;;BA)(A;OICIIO;GXGR;;;BU)(A;;0x1200a9;;;BU)(A;CIIO;GA;;;" +
           kTi + ")(A;;FA;;;" + kTi + ")(A;;0x1200a9;;;AC)(A;OICIIO;GXGR;;;AC)",
       ""},
      {"Users\\Public",
       "O:SYG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;IU)"
       "(A;OICI;0x1301bf;;;SU)(A;OICI;0x1301bf;;;S-1-5-3)",
       "NT AUTHORITY\\INTERACTIVE may add files, add folders and delete or rename it; "
       "NT AUTHORITY\\SERVICE may add files, add folders and delete or rename it; "
       "NT AUTHORITY\\BATCH may add files, add folders and delete or rename it"},
      {"Windows\\Temp",
       "O:SYG:SYD:PAI(A;CI;0x100026;;;BU)(A;;FA;;;BA)(A;OICIIO;GA;;;BA)(A;;FA;;;SY)"
       "(A;OICIIO;GA;;;SY)(A;OICIIO;GA;;;CO)",
       "BUILTIN\\Users may add files and add folders"},
      {"a folder an administrator made under the drive root",
       "O:BAG:S-1-5-21-1-2-3-513D:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)"
       "(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)",
       "NT AUTHORITY\\Authenticated Users may add files, add folders and delete or rename it"},
      {"a folder a standard user made in ProgramData",
       "O:" + kUser + "D:AI(A;ID;FA;;;" + kUser +
           ")(A;OICIIOID;GA;;;CO)(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)"
           "(A;CIID;DCLCRPCR;;;BU)",
       kUser + " may add files, add folders, delete what it holds, delete or rename it, change its "
               "access and take ownership; BUILTIN\\Users may add files and add folders"},
      {"a folder only administrators can use, as the installation makes it",
       "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Verdict(c.sddl, folder, "", Trusted()), c.changers) << c.what;
}

// SYSTEM, Administrators and TrustedInstaller, and an account known to be
// a member of Administrators.
Trusted Administrators() {
  Trusted trusted;
  trusted.administrators = {kAccount};
  return trusted;
}

struct DaclCase {
  const char* what;
  string sddl;
  ObjectType type;
  string parent;
  Trusted trusted;
  string changers;
};

// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const DaclCase kDaclCases[] = {
    {"a deny entry before an allow one wins",
     "O:BAD:(D;;FA;;;WD)(A;;FA;;;BU)",
     ObjectType::kFolder,
     "",
     {},
     ""},
    {"an allow entry before a deny one wins",
     "O:BAD:(A;;0x6;;;BU)(D;;FA;;;WD)",
     ObjectType::kFolder,
     "",
     {},
     "BUILTIN\\Users may add files and add folders"},
    {"a deny entry binds only those who hold its SID",
     "O:BAD:(D;;FA;;;IU)(A;;0x2;;;AU)",
     ObjectType::kFolder,
     "",
     {},
     "NT AUTHORITY\\Authenticated Users may add files"},
    {"inherit-only entries bind children",
     "O:BAD:(A;OICIIO;GA;;;BU)",
     ObjectType::kFolder,
     "",
     {},
     ""},
    {"generic write on a file",
     "O:BAD:(A;;GW;;;BU)",
     ObjectType::kFile,
     "",
     {},
     "BUILTIN\\Users may write and append"},
    {"CREATOR OWNER on the object itself matches no one",
     "O:BAD:(A;;FA;;;CO)",
     ObjectType::kFile,
     "",
     {},
     ""},
    {"the owner may always change the DACL",
     "O:BUD:(A;;FA;;;BA)(D;;WD;;;BU)",
     ObjectType::kFile,
     "",
     {},
     "BUILTIN\\Users may change its access"},
    {"unless an OWNER RIGHTS entry says what it may do",
     "O:BUD:(A;;FA;;;BA)(A;;0x1200a9;;;OW)",
     ObjectType::kFile,
     "",
     {},
     ""},
    {"OWNER RIGHTS grants the owner what it names",
     "O:BUD:(A;;FA;;;BA)(A;;SD;;;OW)",
     ObjectType::kFile,
     "",
     {},
     "BUILTIN\\Users may delete or rename it"},
    {"a null DACL lets everyone do anything",
     "O:BAD:NO_ACCESS_CONTROL",
     ObjectType::kFile,
     "",
     {},
     "Everyone may write, append, delete or rename it, change its access and take ownership"},
    {"a parent's delete child deletes what it holds",
     "O:BAD:(A;;FA;;;BA)",
     ObjectType::kFile,
     "O:BAD:(A;;0x40;;;BU)",
     {},
     "BUILTIN\\Users may delete or rename it"},
    {"an account in Administrators is trusted",
     "O:" + string(kAccount) + "D:(A;;FA;;;" + kAccount + ")", ObjectType::kFolder, "",
     Administrators(), ""},
    {"a service's start and stop change nothing",
     "D:(A;;CCLCSWRPWPDTLOCRRC;;;IU)",
     ObjectType::kService,
     "",
     {},
     ""},
    {"a service's configuration",
     "D:(A;;DCRPWP;;;AU)(A;;GA;;;BU)",
     ObjectType::kService,
     "",
     {},
     "NT AUTHORITY\\Authenticated Users may change its configuration; BUILTIN\\Users may "
     "change its configuration, delete or rename it, change its access and take ownership"},
    {"a registry key",
     "O:BAD:(A;CI;KR;;;BU)(A;;KW;;;IU)",
     ObjectType::kRegistryKey,
     "",
     {},
     "NT AUTHORITY\\INTERACTIVE may set values and add subkeys"},
    {"no DACL at all is open to all too",
     "O:BAG:BA",
     ObjectType::kFile,
     "",
     {},
     "Everyone may write, append, delete or rename it, change its access and take ownership"},
    {"an object allow that names no object type grants as a plain one",
     "O:BAD:(OA;;0x2;;;WD)",
     ObjectType::kFile,
     "",
     {},
     "Everyone may write"},
    {"an object entry that names a type binds nothing on a file",
     "O:BAD:(OD;;FA;bf967aba-0de6-11d0-a285-00aa003049e2;;BU)(A;;0x2;;;BU)"
     "(OA;;FA;bf967aba-0de6-11d0-a285-00aa003049e2;;IU)",
     ObjectType::kFile,
     "",
     {},
     "BUILTIN\\Users may write"},
    {"a deny for Authenticated Users does not stop a guest",
     "O:BAD:(D;;FA;;;AU)(A;;0x2;;;LG)(A;;0x2;;;BG)(A;;0x2;;;BU)",
     ObjectType::kFile,
     "",
     {},
     "the local Guest account may write; BUILTIN\\Guests may write"},
    {"anonymous holds no Everyone",
     "O:BAD:(D;;FA;;;WD)(A;;0x2;;;AN)",
     ObjectType::kFile,
     "",
     {},
     "NT AUTHORITY\\ANONYMOUS LOGON may write"},
    {"placeholders match no one",
     "O:BAD:(A;;FA;;;S-1-3-2)(A;;FA;;;S-1-3-3)(A;;FA;;;PS)",
     ObjectType::kFile,
     "",
     {},
     ""},
    {"the local Administrator account is trusted",
     "O:LAD:(A;;FA;;;LA)",
     ObjectType::kFile,
     "",
     {},
     ""},
    {"rights in hex of either case",
     "O:BAD:(A;;0X2;;;BU)",
     ObjectType::kFile,
     "",
     {},
     "BUILTIN\\Users may write"},
    {"a conditional deny denies nothing",
     "O:BAD:(XD;;FA;;;BU)(A;;0x2;;;BU)",
     ObjectType::kFile,
     "",
     {},
     "BUILTIN\\Users may write"},
    {"a right above 32 bits is no right",
     "O:BAD:(A;;4294967298;;;BU)",
     ObjectType::kFile,
     "",
     {},
     "unparsed"},
    {"an SDDL that does not parse", "O:BAD:(A;;FA;;BU", ObjectType::kFile, "", {}, "unparsed"},
    {"an unknown right", "D:(A;;QQ;;;BU)", ObjectType::kFile, "", {}, "unparsed"},
    {"text that is no SDDL", "Everyone: full", ObjectType::kFile, "", {}, "unparsed"},
};

TEST(AccessModel, HowWindowsReadsADacl) {
  for (const DaclCase& c : kDaclCases) {
    EXPECT_EQ(Verdict(c.sddl, c.type, c.parent, c.trusted), c.changers) << c.what;
  }
}

// Entries as Windows lays them out in a DACL's bytes, which the machine's
// reader hands over: each kind read as Windows applies it to a file.
using Bytes = std::vector<unsigned char>;

void Put32(Bytes& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// S-1-1-0 (Everyone) or S-1-5-32-545 (BUILTIN\Users).
Bytes Sid(bool everyone) {
  Bytes sid = {1, static_cast<unsigned char>(everyone ? 1 : 2), 0, 0, 0, 0,
               0, static_cast<unsigned char>(everyone ? 1 : 5)};
  if (everyone) {
    Put32(sid, 0);
  } else {
    Put32(sid, 32);
    Put32(sid, 545);
  }
  return sid;
}

// One entry: its type, mask and SID; object kinds with their flags and GUIDs.
Bytes Entry(unsigned char type, std::uint32_t mask, bool everyone, int objectFlags = -1) {
  Bytes body;
  Put32(body, mask);
  if (objectFlags >= 0) {
    Put32(body, static_cast<std::uint32_t>(objectFlags));
    for (int guid = 0; guid < ((objectFlags & 1) + (objectFlags >> 1 & 1)); ++guid) {
      body.insert(body.end(), 16, 0xAB);
    }
  }
  Bytes sid = Sid(everyone);
  body.insert(body.end(), sid.begin(), sid.end());
  const auto size = static_cast<unsigned char>(4 + body.size());
  Bytes ace = {type, 0, size, 0};
  ace.insert(ace.end(), body.begin(), body.end());
  return ace;
}

Bytes Acl(const std::vector<Bytes>& entries, int cut = 0) {
  Bytes acl = {4, 0, 0, 0, static_cast<unsigned char>(entries.size()), 0, 0, 0};
  for (const Bytes& entry : entries) acl.insert(acl.end(), entry.begin(), entry.end());
  acl[2] = static_cast<unsigned char>(acl.size() - static_cast<std::size_t>(cut));
  return acl;
}

struct BinaryCase {
  const char* what;
  Bytes acl;
  string changers;
};

// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const BinaryCase kBinaryCases[] = {
    {"a plain allow", Acl({Entry(0x0, 0x2, false)}), "BUILTIN\\Users may write"},
    {"an object allow that names no object type grants as a plain one",
     Acl({Entry(0x5, 0x1F01FF, true, 0)}),
     "Everyone may write, append, delete or rename it, change its access and take ownership"},
    {"one that names only the type of who inherits it grants too", Acl({Entry(0x5, 0x2, true, 2)}),
     "Everyone may write"},
    {"an object allow that names an object type binds nothing on a file",
     Acl({Entry(0x5, 0x1F01FF, true, 1)}), ""},
    {"an object deny that names no object type denies",
     Acl({Entry(0x6, 0x2, false, 0), Entry(0x0, 0x6, false)}), "BUILTIN\\Users may append"},
    {"a callback allow may grant", Acl({Entry(0x9, 0x2, false)}), "BUILTIN\\Users may write"},
    {"a callback object allow with no type may grant", Acl({Entry(0xB, 0x2, false, 0)}),
     "BUILTIN\\Users may write"},
    {"a callback deny may not deny", Acl({Entry(0xA, 0x2, false), Entry(0x0, 0x2, false)}),
     "BUILTIN\\Users may write"},
    {"an entry that runs past the ACL", Acl({Entry(0x0, 0x2, false)}, 4), "unparsed"},
};

TEST(AccessModel, ReadsTheEntriesOfABinaryDacl) {
  for (const BinaryCase& c : kBinaryCases) {
    SecurityDescriptor object;
    object.owner = sid::kAdministrators;
    string verdict = ReadBinaryAcl(c.acl.data(), c.acl.size(), object.dacl)
                         ? DescribeChangers(WhoCanChange(object, ObjectType::kFile, nullptr, {}),
                                            ObjectType::kFile, WellKnownName)
                         : "unparsed";
    EXPECT_EQ(verdict, c.changers) << c.what;
  }
}

}  // namespace
