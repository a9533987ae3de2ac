// The rules that need the target machine: what is there for a line to
// start, and who could change it.
#include "lint/rules.h"
#include "text/string_helpers.h"

namespace {

bool Program(const LineSheet& line) {
  return !IsInstaller(line);
}

void MissingProgram(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  if (!Program(line) || !line.starts.empty()) return;
  const std::vector<std::string>& tried = line.tried;
  const std::string& system = c.service.systemDirectory;
  std::string sysnative;
  if (c.service.wow64 && tried.size() == 1 && InSystemFolder(tried[0], system)) {
    const std::string windows = system.substr(0, system.rfind('\\'));
    const std::string rest = tried[0].substr(system.size());
    sysnative = ": this is 64-bit Windows, where the 32-bit service's " + system + " is " +
                windows +
                "\\SysWOW64, and a program with only a 64-bit copy is not there; name "
                "it " +
                windows + "\\Sysnative" + rest + " for the 64-bit one";
  }
  Add(findings, Code::kMissingProgram,
      (tried.size() == 1 ? "there is no program " + tried[0]
                         : "none of the names Windows tries is there: " + Listed(tried)) +
          " on this machine" +
          (!line.names.empty() && KindOfPath(line.names[0]) == PathKind::kRelative &&
                   !c.service.pathKnown
               ? ", nor, as far as it can see, on the service's PATH"
               : "") +
          sysnative);
}

void StartsOtherProgram(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  if (!Program(line) || line.alsoExists.empty()) return;
  Add(findings, Code::kStartsOtherProgram,
      "on this machine the service starts " + line.starts + ", though " + line.alsoExists +
          ", which the line names in full, is there: the shorter name wins, and whoever can put "
          "a program there runs it as SYSTEM (CWE-428); quote the path");
}

// Whoever can change what the service starts, or a folder above it, can run
// anything as SYSTEM.
void Changeable(const RuleContext& c, Findings& findings, const std::string& path,
                const char* what) {
  if (c.service.changeable == nullptr || path.empty()) return;
  std::string why = c.service.changeable(SourceOf(c.service, path));
  if (why.empty()) return;
  Add(findings, Code::kChangeableByUsers,
      "on this machine " + std::string(what) + ", " + path + ", runs as SYSTEM, and " + why +
          ": make it and the folders above it writable by administrators only");
}

void ChangeableProgram(const RuleContext& c, Findings& findings) {
  if (Program(c.line)) Changeable(c, findings, c.line.starts, "the program");
}

void MissingDirectory(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  if (!Program(line) || line.directoryThere) return;
  Add(findings, Code::kMissingDirectory,
      "there is no folder " + Resolve(line.directory, c.service.systemDirectory) +
          " on this machine");
}

void MissingPatch(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  if (Program(line) || line.patchThere) return;
  const std::string& from = c.service.filesFrom;
  Add(findings, Code::kMissingPatch,
      "there is no patch file " + c.service.serviceDirectory + "\\" +
          PatchNames(line.patchName)[0] + " on this machine" +
          (from.empty() ? "" : ", nor one to copy there from " + from));
}

void ChangeablePatch(const RuleContext& c, Findings& findings) {
  if (!Program(c.line) && c.line.patchThere) {
    Changeable(c, findings, c.line.patchFile, "the patch");
  }
}

}  // namespace

const Rule kTargetRules[] = {MissingProgram,   StartsOtherProgram, ChangeableProgram,
                             MissingDirectory, MissingPatch,       ChangeablePatch,
                             nullptr};
