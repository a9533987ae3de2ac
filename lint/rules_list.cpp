// The rules about the list as a whole, known before its first line: its
// encoding, and whether the service reads it at all; and the rules about the
// installation that reads it, for --installed.
#include "lint/installed_audit.h"
#include "lint/rules.h"
#include "text/string_helpers.h"

namespace {

void Utf16(const RuleContext& c, Findings& findings) {
  if (!c.list.utf16) return;
  Add(findings, Code::kUtf16,
      "the list is UTF-16; the service reads bytes in the ANSI code page, so every line is "
      "garbage to it: save the list in the ANSI code page");
}

void Utf8(const RuleContext& c, Findings& findings) {
  if (c.list.utf8Line == 0) return;
  Add(findings, Code::kUtf8,
      "the list is UTF-8 (first at line " + std::to_string(c.list.utf8Line) +
          "), but the service reads code page " + std::to_string(c.service.codePage) +
          ": save it in that code page");
}

void WrongList(const RuleContext& c, Findings& findings) {
  std::string expected = BaseName(c.list.serviceListPath, "\\");
  if (c.list.name == "-" || SameName(c.list.name, expected)) return;
  Add(findings, Code::kWrongList,
      "the service " + c.service.executablePath + " reads " + expected + ", not " + c.list.name);
}

// Who may change an object of the service's, as a finding's message.
void AddChangers(Findings& findings, Code code, const SecurityDescriptor& descriptor,
                 ObjectType type, const std::string& unreadable, const Trusted& trusted,
                 const std::string& what) {
  if (!unreadable.empty()) {
    Add(findings, code, "who can change " + what + " cannot be read: " + unreadable);
    return;
  }
  std::vector<Changer> changers = WhoCanChange(descriptor, type, nullptr, trusted);
  if (!changers.empty()) {
    Add(findings, code,
        "others than administrators can change " + what + ": " +
            DescribeChangers(changers, type, trusted.nameOf));
  }
}

void UnquotedImagePath(const RuleContext& c, Findings& findings) {
  const InstalledFacts& facts = c.installed->facts;
  const std::string program = ImageProgram(facts.imagePath);
  if (!IsFullWindowsPath(program)) {
    Add(findings, Code::kUnquotedImagePath,
        "the image path, " + facts.imagePath + ", names no program by a full path");
  } else if (ImagePathSplits(facts.imagePath)) {
    Add(findings, Code::kUnquotedImagePath,
        "the image path, " + facts.imagePath + ", has a space and no quotes: Windows tries " +
            program.substr(0, program.find_first_of(" \t")) +
            " first, and whoever can put a program there runs it as SYSTEM");
  }
}

void ServiceAccount(const RuleContext& c, Findings& findings) {
  const std::string& account = c.installed->facts.account;
  if (account.empty() || SameName(account, "LocalSystem")) return;
  Add(findings, Code::kServiceAccount,
      "the service runs as " + account +
          ", not LocalSystem: what its list starts runs as that account");
}

void ServiceAccess(const RuleContext& c, Findings& findings) {
  const InstalledFacts& facts = c.installed->facts;
  AddChangers(findings, Code::kServiceAccess, facts.service, ObjectType::kService,
              facts.serviceUnreadable, facts.trusted, "the service's configuration");
}

void RegistryAccess(const RuleContext& c, Findings& findings) {
  const InstalledFacts& facts = c.installed->facts;
  for (const KeyFacts& key : facts.keys) {
    AddChangers(findings, Code::kRegistryAccess, key.descriptor, ObjectType::kRegistryKey,
                key.unreadable, facts.trusted,
                key.name.empty() ? "the service's registry key"
                                 : "the key " + key.name + " below the service's registry key");
  }
}

void FolderRule(const RuleContext& c, Findings& findings) {
  if (c.installed->folderVerdict.empty()) return;
  Add(findings, Code::kFolderRule,
      "the service's folder fails the folder rule: " + c.installed->folderVerdict);
}

void NoList(const RuleContext& c, Findings& findings) {
  if (c.installed->list.empty()) return;
  Add(findings, Code::kNoList, "there is no list " + c.installed->list);
}

}  // namespace

const Rule kListRules[] = {Utf16, Utf8, WrongList, nullptr};
const Rule kInstallationRules[] = {UnquotedImagePath, ServiceAccount, ServiceAccess, RegistryAccess,
                                   FolderRule,        NoList,         nullptr};
