#include "check/check_output.h"

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
  std::string text = std::to_string(report.lines.size()) + " line(s) read and composed, " +
                     std::to_string(report.WarningCount()) + " warning(s)";
  if (report.linesNeverRead > 0) {
    text += ", " + std::to_string(report.linesNeverRead) + " line(s) never read";
  }
  return text;
}

}  // namespace

std::string ShowBytes(const std::string& bytes) {
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

void WriteText(std::ostream& out, const CheckOptions& options, const ListReport& report) {
  out << "List " << options.list << ", as the service " << options.executablePath << " reads "
      << report.serviceListPath << "\n"
      << "System directory " << options.systemDirectory << ", code page " << options.codePage
      << "\n";
  for (const LineReport& line : report.lines) {
    out << "\nline " << line.number << ": " << RuleName(line.rule) << "\n"
        << "  read:      [" << ShowBytes(line.read) << "]\n"
        << "  command:   [" << ShowBytes(line.commandLine) << "]\n"
        << "  directory: "
        << (line.hasDirectory ? "[" + ShowBytes(line.directory) + "]" : "inherited") << "\n";
    for (const CheckWarning& warning : line.warnings) {
      out << "  warning " << warning.code << ": " << ShowBytes(warning.message) << "\n";
    }
  }
  out << "\n" << Summary(report) << "\n";
}

void WriteJson(std::ostream& out, const CheckOptions& options, const ListReport& report) {
  out << "{\n"
      << "  \"list\": " << JsonString(options.list) << ",\n"
      << "  \"executable\": " << JsonString(options.executablePath) << ",\n"
      << "  \"service_list_path\": " << JsonString(report.serviceListPath) << ",\n"
      << "  \"system_directory\": " << JsonString(options.systemDirectory) << ",\n"
      << "  \"code_page\": " << options.codePage << ",\n"
      << "  \"lines\": [";
  const char* separator = "\n";
  for (const LineReport& line : report.lines) {
    out << separator << "    {\"line\": " << line.number << ", \"rule\": \"" << RuleCode(line.rule)
        << "\", \"read\": " << JsonString(line.read)
        << ", \"command\": " << JsonString(line.commandLine)
        << ", \"directory\": " << (line.hasDirectory ? JsonString(line.directory) : "null")
        << ", \"warnings\": [";
    const char* warningSeparator = "";
    for (const CheckWarning& warning : line.warnings) {
      out << warningSeparator << "{\"code\": \"" << warning.code
          << "\", \"message\": " << JsonString(warning.message) << "}";
      warningSeparator = ", ";
    }
    out << "]}";
    separator = ",\n";
  }
  out << "\n  ],\n"
      << "  \"lines_never_read\": " << report.linesNeverRead << ",\n"
      << "  \"warning_count\": " << report.WarningCount() << ",\n"
      << "  \"summary\": " << JsonString(Summary(report)) << "\n"
      << "}\n";
}
