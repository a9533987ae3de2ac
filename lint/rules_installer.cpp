// The rules about installer lines: the program the line names, which the
// system's installer replaces, its patch, and the other installer lines the
// list starts beside it.
#include <algorithm>

#include "lint/rules.h"
#include "text/string_helpers.h"

namespace {

bool NamesTheInstaller(const std::string& word) {
  return word == kInstallerName || EndsWith(word, std::string("\\") + kInstallerName);
}

void MsiexecNotFirst(const RuleContext& c, Findings& findings) {
  const std::string& word = c.line.leadingWord;
  if (NamesTheInstaller(word)) return;
  Add(findings, Code::kMsiexecNotFirst,
      "the line mentions \"msiexec.exe\", so the service starts the system's msiexec.exe "
      "instead; its first word, " +
          word + ", is not started");
}

void OtherMsiexec(const RuleContext& c, Findings& findings) {
  const std::string installer = c.service.systemDirectory + "\\" + kInstallerName;
  const std::string& word = c.line.leadingWord;
  if (NamesTheInstaller(word) && word != kInstallerName && !SameName(word, installer)) {
    Add(findings, Code::kOtherMsiexec,
        "the line names " + word + ", but the service starts the system's " + installer +
            " in its place");
  }
}

void NoPatchOption(const RuleContext& c, Findings& findings) {
  if (c.line.hasPatch) return;
  Add(findings, Code::kNoPatchOption,
      "an installer line without \" /p \": the service starts msiexec.exe with /p and its own "
      "folder, which is no patch, so nothing is ever installed; the service only applies "
      "patches");
}

void DroppedOptions(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  const std::string::size_type wordEnd = line.leadingWordEnd;
  if (!NamesTheInstaller(line.leadingWord)) return;
  std::string::size_type markerAt = line.patchAt - kPatchMarkerLength;
  if (markerAt <= wordEnd) return;
  std::string dropped = line.read.substr(wordEnd, markerAt - wordEnd);
  dropped.erase(0, dropped.find_first_not_of(' '));
  if (dropped.empty()) return;
  Add(findings, Code::kDroppedOptions,
      "the service passes only what follows \" /p \", so " + dropped +
          " never reaches msiexec.exe: move it after the patch name");
}

// Why the patch argument cannot pass whole, or empty. composed is what
// follows " /p " in the command line.
std::string BrokenPatch(const LineSheet& line, const std::string& folder,
                        const std::string& composed) {
  const std::string& patch = line.patch;
  // In a folder with a space the service quotes the patch path up to the
  // argument's first space, and a TAB stays inside the quotes.
  bool spacedFolder = folder.find(' ') != std::string::npos;
  std::string name = spacedFolder ? patch.substr(0, patch.find(' ')) : line.patchName;
  name = PatchNames(name)[0];
  std::string::size_type msp = name.find(".msp");
  if (patch.empty())
    return "nothing follows \" /p \", so msiexec.exe is given the service folder as the patch";
  if (patch[0] == ' ') {
    return "the patch argument begins with a space, so msiexec.exe is given the folder, not the "
           "patch: /p " +
           composed;
  }
  if (patch[0] == '"') {
    return "the patch name is quoted, but the service puts its folder in front of the quote: /p " +
           composed;
  }
  if (!EndsWith(name, ".msp") && patch.find(".msp", name.size()) != std::string::npos) {
    return "the patch name holds a space, where the patch path ends: msiexec.exe is given " +
           folder + "\\" + name + " as the patch";
  }
  if (msp != std::string::npos && msp + 4 < name.size() && name[msp + 4] != '\r') {
    return "the patch name runs on past .msp, to " + name +
           (spacedFolder ? ": in a folder with a space the service quotes it up to the first "
                           "space, so only a space may follow the name"
                         : ": only a space or a TAB ends it");
  }
  return "";
}

// A patch argument that cannot pass whole: patch-name, an error, which ends the stage.
void PatchName(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  std::string broken = BrokenPatch(line, c.service.serviceDirectory, line.composedPatch);
  if (!broken.empty()) Add(findings, Code::kPatchName, broken);
}

// A patch joined to the first by ";" gets no folder: patch-name too.
void JoinedPatchName(const RuleContext& c, Findings& findings) {
  std::vector<std::string> names = PatchNames(c.line.patchName);
  for (std::size_t i = 1; i < names.size(); ++i) {
    PathKind kind = KindOfPath(names[i]);
    if (kind != PathKind::kFull && kind != PathKind::kUnc) {
      Add(findings, Code::kPatchName,
          "the patch " + names[i] +
              ", after a \";\", gets no folder from the service: give it "
              "its full path, such as " +
              c.service.serviceDirectory + "\\" + names[i]);
      return;
    }
  }
}

void AbsolutePatch(const RuleContext& c, Findings& findings) {
  const std::string name = PatchNames(c.line.patchName)[0];
  PathKind kind = KindOfPath(name);
  if (kind == PathKind::kRelative || kind == PathKind::kDevice) return;
  Add(findings, Code::kAbsolutePatch,
      "the patch path is absolute, but the service puts its own folder in front of it: " +
          c.service.serviceDirectory + "\\" + name);
}

void SideBySide(const RuleContext& c, Findings& findings) {
  if (c.list.installerLines < 2) return;
  Add(findings, Code::kSideBySideInstallers,
      "this is one of " + std::to_string(c.list.installerLines) +
          " installer lines, which start side by side; Windows Installer runs one installation "
          "at a time, so all but one fail at once with 1618: apply the patches from one line, "
          "joined by \";\", each after the first with its full path, such as msiexec.exe /p "
          "a.msp;" +
          c.service.serviceDirectory + "\\b.msp /qn /norestart");
}

bool HasOption(const std::string& text, std::initializer_list<const char*> options) {
  return std::any_of(options.begin(), options.end(), [&](const char* option) {
    std::string::size_type at = text.find(option);
    std::string::size_type end = at + std::char_traits<char>::length(option);
    return at != std::string::npos && (end == text.size() || text[end] == ' ');
  });
}

void Restart(const RuleContext& c, Findings& findings) {
  const std::string& patch = c.line.patch;
  if (c.list.installerLines + c.list.otherLines < 2 ||
      !HasOption(patch, {"/qn", "/q", "/quiet", "/passive", "/qb", "/qb!", "/qn+"}) ||
      HasOption(patch, {"/norestart", "/promptrestart", "reboot=reallysuppress"})) {
    return;
  }
  Add(findings, Code::kPatchRestart,
      "with no interface, Windows Installer restarts the machine by itself when the patch needs "
      "it, ending every other program the list started: add /norestart, and restart when you "
      "choose");
}

}  // namespace

const Rule kInstallerProgramRules[] = {MsiexecNotFirst, OtherMsiexec, nullptr};
const Rule kInstallerPatchRules[] = {NoPatchOption,   DroppedOptions, PatchName, AbsolutePatch,
                                     JoinedPatchName, Restart,        nullptr};
const Rule kInstallerListRules[] = {SideBySide, nullptr};
