#include <windows.h>
// clang-format off
#include <lm.h>
#include <sddl.h>
// clang-format on

#include <map>
#include <memory>
#include <string>

#include "access/machine_accounts_win32.h"
#include "platform/owned_handle_win32.h"

namespace {

// DOMAIN\name of an account; empty when it is none, or not of the kind asked for.
std::wstring AccountName(PSID sid, SID_NAME_USE kind) {
  wchar_t name[256];
  wchar_t domain[256];
  DWORD nameSize = 256;
  DWORD domainSize = 256;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use) || use != kind) {
    return L"";
  }
  return domain[0] != L'\0' ? std::wstring(domain) + L"\\" + name : name;
}

std::wstring AdministratorsGroupName() {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof sid;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size)) return L"";
  std::wstring name = AccountName(sid, SidTypeAlias);
  return name.substr(name.find(L'\\') + 1);
}

// Whether an account is a member of Administrators: listed in the group,
// the running account when its token holds the group (Wine lists no
// members), or a user whose groups, nested ones included, hold it.
bool IsAdministratorAccount(const std::string& sidText, std::map<std::string, bool>& known,
                            const std::wstring& group) {
  auto cached = known.find(sidText);
  if (cached != known.end()) return cached->second;
  bool member = false;
  PSID sid = nullptr;
  if (!group.empty() && ConvertStringSidToSidA(sidText.c_str(), &sid)) {
    LOCALGROUP_MEMBERS_INFO_0* members = nullptr;
    DWORD count = 0;
    DWORD total = 0;
    if (NetLocalGroupGetMembers(nullptr, group.c_str(), 0, reinterpret_cast<BYTE**>(&members),
                                MAX_PREFERRED_LENGTH, &count, &total, nullptr) == NERR_Success) {
      for (DWORD i = 0; i < count && !member; ++i) member = EqualSid(members[i].lgrmi0_sid, sid);
      NetApiBufferFree(members);
    }
    HANDLE token = nullptr;
    if (!member && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      OwnedHandle owned(token);
      BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
      DWORD size = 0;
      BYTE admins[SECURITY_MAX_SID_SIZE];
      DWORD adminsSize = sizeof admins;
      BOOL holds = FALSE;
      member = GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
               EqualSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, sid) &&
               CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &adminsSize) &&
               CheckTokenMembership(nullptr, admins, &holds) && holds;
    }
    // A user's groups only: a group's name would be taken for a user of that name.
    std::wstring account = member ? L"" : AccountName(sid, SidTypeUser);
    LOCALGROUP_USERS_INFO_0* groups = nullptr;
    if (!account.empty() &&
        NetUserGetLocalGroups(nullptr, account.c_str(), 0, LG_INCLUDE_INDIRECT,
                              reinterpret_cast<BYTE**>(&groups), MAX_PREFERRED_LENGTH, &count,
                              &total) == NERR_Success) {
      for (DWORD i = 0; i < count && !member; ++i) member = group == groups[i].lgrui0_name;
      NetApiBufferFree(groups);
    }
    LocalFree(sid);
  }
  known[sidText] = member;
  return member;
}

std::string PrincipalName(const std::string& sidText) {
  PSID sid = nullptr;
  if (!ConvertStringSidToSidA(sidText.c_str(), &sid)) return WellKnownName(sidText);
  char name[256];
  char domain[256];
  DWORD nameSize = sizeof name;
  DWORD domainSize = sizeof domain;
  SID_NAME_USE use;
  bool found = LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use) != 0;
  LocalFree(sid);
  if (!found) return WellKnownName(sidText);
  return domain[0] != '\0' ? std::string(domain) + "\\" + name : name;
}

}  // namespace

Trusted MachineTrusted() {
  Trusted trusted;
  // Each machine's view keeps what it asked, for as long as it is in use.
  auto known = std::make_shared<std::map<std::string, bool>>();
  auto group = std::make_shared<const std::wstring>(AdministratorsGroupName());
  trusted.isAdministrator = [known, group](const std::string& sid) {
    return IsAdministratorAccount(sid, *known, *group);
  };
  trusted.nameOf = PrincipalName;
  return trusted;
}
