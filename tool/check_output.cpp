#include "tool/check_output.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Hex(unsigned char c) {
  char text[3];
  static_cast<void>(std::snprintf(text, sizeof text, "%02X", c));
  return text;
}

// The rule's name with dashes for spaces: "installer-patch".
std::string RuleCode(CommandRule rule) {
  std::string code = RuleName(rule);
  std::replace(code.begin(), code.end(), ' ', '-');
  return code;
}

std::string Summary(const ListReport& report) {
  std::string text = std::to_string(report.lineCount) +
                     " line(s) read and composed: " + std::to_string(report.Count(Level::kError)) +
                     " error(s), " + std::to_string(report.Count(Level::kWarning)) +
                     " warning(s), " + std::to_string(report.Count(Level::kNote)) + " note(s)";
  if (report.linesNeverRead > 0) {
    text += ", " + std::to_string(report.linesNeverRead) + " line(s) never read";
  }
  return text;
}

std::string CodePageText(unsigned codePage) {
  return std::to_string(codePage) +
         (IsDoubleByteCodePage(codePage) ? "" : " (treated as having no lead bytes)");
}

// Text broken at spaces into lines of at most 100 characters where it can
// be, each after the first indented four more.
void WriteWrapped(std::ostream& out, const std::string& text, const std::string& indent) {
  const std::size_t kWidth = 100;
  std::string::size_type at = 0;
  std::string lead = indent;
  while (text.size() - at > kWidth - lead.size()) {
    std::string::size_type cut = text.rfind(' ', at + kWidth - lead.size());
    if (cut == std::string::npos || cut <= at) cut = text.find(' ', at + kWidth - lead.size());
    if (cut == std::string::npos) break;
    out << lead << text.substr(at, cut - at) << "\n";
    at = cut + 1;
    lead = indent + "    ";
  }
  out << lead << text.substr(at) << "\n";
}

void WriteFindings(std::ostream& out, const std::vector<Finding>& findings, const char* indent) {
  for (const Finding& finding : findings) {
    const FindingCode& code = Describe(finding.code);
    WriteWrapped(
        out,
        std::string(LevelName(code.level)) + " " + code.name + ": " + ShowBytes(finding.message),
        indent);
  }
}

std::string JsonFindings(const std::vector<Finding>& findings) {
  std::string json = "[";
  const char* separator = "";
  for (const Finding& finding : findings) {
    json += separator;
    const FindingCode& code = Describe(finding.code);
    json += "{\"code\": \"" + std::string(code.name) + "\", \"level\": \"" + LevelName(code.level) +
            "\", \"message\": " + JsonString(finding.message) + "}";
    separator = ", ";
  }
  return json + "]";
}

}  // namespace

std::string ShowBytes(const std::string& bytes) {
  // Most text needs nothing written another way.
  if (std::all_of(bytes.begin(), bytes.end(),
                  [](char c) { return c >= 0x20 && c < 0x7F && c != '<'; })) {
    return bytes;
  }
  std::string shown;
  for (char byte : bytes) {
    auto c = static_cast<unsigned char>(byte);
    switch (c) {
      case '\r':
        shown += "<CR>";
        break;
      case '\n':
        shown += "<LF>";
        break;
      case '\t':
        shown += "<TAB>";
        break;
      case '\0':
        shown += "<NUL>";
        break;
      default:
        if (c >= 0x20 && c < 0x7F && c != '<') {
          shown += byte;
        } else {
          shown += "<" + Hex(c) + ">";
        }
    }
  }
  return shown;
}

std::string JsonString(const std::string& bytes) {
  std::string json = "\"";
  for (char byte : bytes) {
    auto c = static_cast<unsigned char>(byte);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += byte;
    } else if (c >= 0x20 && c < 0x7F) {
      json += byte;
    } else {
      json += "\\u00" + Hex(c);
    }
  }
  return json + "\"";
}

void WriteTextHeader(std::ostream& out, const CheckOptions& options, const ListReport& report) {
  if (options.installed) {
    WriteWrapped(out,
                 "Installed service: image path [" + ShowBytes(options.imagePath) + "], account " +
                     ShowBytes(options.account),
                 "");
  }
  WriteWrapped(out,
               "List " + ShowBytes(options.list) + ", as the service " +
                   ShowBytes(options.service.executablePath) + " reads " +
                   ShowBytes(report.serviceListPath),
               "");
  out << "System directory " << ShowBytes(options.service.systemDirectory) << ", code page "
      << CodePageText(options.service.codePage) << "\n"
      << (options.service.fileKind
              ? "Programs, folders and patch files looked for on this machine\n"
              : "Programs, folders and patch files not looked for: only "
                "starter-check.exe on the target can\n");
  if (!report.findings.empty()) out << "\n";
  WriteFindings(out, report.findings, "");
}

void WriteTextLine(std::ostream& out, const LineReport& line) {
  out << "\nline " << line.number << ": " << RuleName(line.rule) << "\n"
      << "  read:      [" << ShowBytes(line.read) << "]\n"
      << "  command:   [" << ShowBytes(line.commandLine) << "]\n"
      << "  directory: "
      << (line.hasDirectory ? "[" + ShowBytes(line.directory) + "]" : "inherited") << "\n";
  if (line.looked) {
    out << "  starts:    " << (line.starts.empty() ? "nothing" : "[" + ShowBytes(line.starts) + "]")
        << "\n";
  }
  WriteFindings(out, line.findings, "  ");
}

void WriteTextSummary(std::ostream& out, const ListReport& report) {
  out << "\n" << Summary(report) << "\n";
}

void WriteJsonHeader(std::ostream& out, const CheckOptions& options, const ListReport& report) {
  out << "{\"list\": " << JsonString(options.list)
      << ", \"executable\": " << JsonString(options.service.executablePath)
      << ", \"service_list_path\": " << JsonString(report.serviceListPath)
      << ", \"system_directory\": " << JsonString(options.service.systemDirectory)
      << ", \"code_page\": " << options.service.codePage << ", \"double_byte\": "
      << (IsDoubleByteCodePage(options.service.codePage) ? "true" : "false")
      << ", \"looked_on_this_machine\": " << (options.service.fileKind ? "true" : "false")
      << ", \"installed\": "
      << (options.installed ? "{\"image_path\": " + JsonString(options.imagePath) +
                                  ", \"account\": " + JsonString(options.account) + "}"
                            : "null")
      << ", \"findings\": " << JsonFindings(report.findings) << ", \"lines\": [";
}

void WriteJsonLine(std::ostream& out, const LineReport& line) {
  out << (line.number > 1 ? ", " : "") << "{\"line\": " << line.number << ", \"rule\": \""
      << RuleCode(line.rule) << "\", \"read\": " << JsonString(line.read)
      << ", \"command\": " << JsonString(line.commandLine)
      << ", \"directory\": " << (line.hasDirectory ? JsonString(line.directory) : "null")
      << ", \"starts\": " << (line.starts.empty() ? "null" : JsonString(line.starts))
      << ", \"findings\": " << JsonFindings(line.findings) << "}";
}

void WriteJsonSummary(std::ostream& out, const ListReport& report) {
  out << "], \"lines_never_read\": " << report.linesNeverRead
      << ", \"error_count\": " << report.Count(Level::kError)
      << ", \"warning_count\": " << report.Count(Level::kWarning)
      << ", \"note_count\": " << report.Count(Level::kNote)
      << ", \"summary\": " << JsonString(Summary(report)) << "}\n";
}
