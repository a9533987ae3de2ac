#include "tool/check_output.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/string_helpers.h"

namespace {

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
// text after indent, cut at spaces into lines of at most 100 characters
// where it can be, the lines after the first indented four more: appended
// to out, which a caller writes at once.
void Wrap(std::string& out, const std::string& text, const std::string& indent) {
  const std::size_t kWidth = 100;
  std::string::size_type at = 0;
  std::size_t lead = 0;  // the indent's, then four more after the first line
  out += indent;
  while (text.size() - at > kWidth - indent.size() - lead) {
    std::string::size_type cut = text.rfind(' ', at + kWidth - indent.size() - lead);
    if (cut == std::string::npos || cut <= at) {
      cut = text.find(' ', at + kWidth - indent.size() - lead);
    }
    if (cut == std::string::npos) break;
    out.append(text, at, cut - at).append("\n").append(indent).append("    ");
    at = cut + 1;
    lead = 4;
  }
  out.append(text, at, std::string::npos).append("\n");
}

void WriteWrapped(std::ostream& out, const std::string& text, const std::string& indent) {
  std::string wrapped;
  Wrap(wrapped, text, indent);
  out << wrapped;
}

// Each finding, "level code: message", wrapped: appended to out.
void AppendFindings(std::string& out, const std::vector<Finding>& findings, const char* indent) {
  std::string text;
  text.reserve(512);  // most findings fit, so the text is made once
  const std::string lead = indent;
  for (const Finding& finding : findings) {
    const FindingCode& code = Describe(finding.code);
    text.assign(LevelName(code.level)).append(" ").append(code.name).append(": ");
    AppendShown(text, finding.message);
    Wrap(out, text, lead);
  }
}

void WriteFindings(std::ostream& out, const std::vector<Finding>& findings, const char* indent) {
  std::string text;
  AppendFindings(text, findings, indent);
  out << text;
}

// Printable runs are appended whole; only the bytes between them are escaped.
void AppendJson(std::string& json, const std::string& bytes) {
  json += '"';
  std::string::size_type run = 0;
  for (std::string::size_type i = 0; i < bytes.size(); ++i) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') continue;
    json.append(bytes, run, i - run);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += bytes[i];
    } else {
      json.append("\\u00").append(Hex(c));
    }
    run = i + 1;
  }
  json.append(bytes, run, std::string::npos);
  json += '"';
}

void AppendJsonFindings(std::string& json, const std::vector<Finding>& findings) {
  json += "[";
  const char* separator = "";
  for (const Finding& finding : findings) {
    const FindingCode& code = Describe(finding.code);
    json.append(separator).append("{\"code\": \"").append(code.name);
    json.append("\", \"level\": \"").append(LevelName(code.level)).append("\", \"message\": ");
    AppendJson(json, finding.message);
    json += "}";
    separator = ", ";
  }
  json += "]";
}

std::string JsonFindings(const std::vector<Finding>& findings) {
  std::string json;
  AppendJsonFindings(json, findings);
  return json;
}

// Whether every byte is printable ASCII but '<': eight at a time, since every
// line's report asks of every message.
bool Plain(const std::string& bytes) {
  const std::uint64_t kOnes = 0x0101010101010101ull;
  const std::uint64_t kHigh = 0x8080808080808080ull;
  auto zeroByte = [&](std::uint64_t word) { return (word - kOnes) & ~word & kHigh; };
  const char* at = bytes.data();
  const char* end = at + bytes.size();
  for (; end - at >= 8; at += 8) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    const std::uint64_t below = (word - kOnes * 0x20) & ~word & kHigh;  // under 0x20
    if ((word & kHigh) != 0 || below != 0 || zeroByte(word ^ (kOnes * 0x7F)) != 0 ||
        zeroByte(word ^ (kOnes * '<')) != 0) {
      return false;
    }
  }
  for (; at != end; ++at) {
    if (*at < 0x20 || *at >= 0x7F || *at == '<') return false;
  }
  return true;
}

}  // namespace

std::string ShowBytes(const std::string& bytes) {
  std::string shown;
  AppendShown(shown, bytes);
  return shown;
}

void AppendShown(std::string& shown, const std::string& bytes) {
  // Most text needs nothing written another way.
  if (Plain(bytes)) {
    shown += bytes;
    return;
  }
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
}

std::string JsonString(const std::string& bytes) {
  std::string json;
  AppendJson(json, bytes);
  return json;
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
  // The line's report in one piece of text, written at once.
  std::string head;
  head.reserve(1024);
  head.append("\nline ")
      .append(std::to_string(line.number))
      .append(": ")
      .append(RuleName(line.rule));
  head += "\n  read:      [";
  AppendShown(head, line.read);
  head += "]\n  command:   [";
  AppendShown(head, line.commandLine);
  head += "]\n  directory: ";
  if (line.hasDirectory) {
    head += "[";
    AppendShown(head, line.directory);
    head += "]\n";
  } else {
    head += "inherited\n";
  }
  if (line.looked && line.starts.empty()) head += "  starts:    nothing\n";
  if (line.looked && !line.starts.empty()) {
    head += "  starts:    [";
    AppendShown(head, line.starts);
    head += "]\n";
  }
  AppendFindings(head, line.findings, "  ");
  out.write(head.data(), static_cast<std::streamsize>(head.size()));
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
  // As the text report: one piece, written at once.
  std::string json;
  json.reserve(1024);
  json.append(line.number > 1 ? ", " : "")
      .append("{\"line\": ")
      .append(std::to_string(line.number));
  json.append(", \"rule\": \"").append(RuleCode(line.rule)).append("\", \"read\": ");
  AppendJson(json, line.read);
  json += ", \"command\": ";
  AppendJson(json, line.commandLine);
  json += ", \"directory\": ";
  if (line.hasDirectory) {
    AppendJson(json, line.directory);
  } else {
    json += "null";
  }
  json += ", \"starts\": ";
  if (line.starts.empty()) {
    json += "null";
  } else {
    AppendJson(json, line.starts);
  }
  json += ", \"findings\": ";
  AppendJsonFindings(json, line.findings);
  json += "}";
  out.write(json.data(), static_cast<std::streamsize>(json.size()));
}

void WriteJsonSummary(std::ostream& out, const ListReport& report) {
  out << "], \"lines_never_read\": " << report.linesNeverRead
      << ", \"error_count\": " << report.Count(Level::kError)
      << ", \"warning_count\": " << report.Count(Level::kWarning)
      << ", \"note_count\": " << report.Count(Level::kNote)
      << ", \"summary\": " << JsonString(Summary(report)) << "}\n";
}
