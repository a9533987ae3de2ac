// The two ways starter-check shows a report: text for people, JSON for tools.
// Each is written in three steps, so that a line is written as soon as it is
// checked: the header, each line, then the summary.
#pragma once

#include <ostream>
#include <string>

#include "lint/list_check.h"

// Bytes as text that shows every one of them: printable ASCII stands as it
// is, "<" and every other byte as <CR>, <LF>, <TAB>, <NUL> or two hex digits
// in angle brackets, such as <83>.
std::string ShowBytes(const std::string& bytes);
// The same, appended to shown.
void AppendShown(std::string& shown, const std::string& bytes);

// A JSON string literal in which each byte is one character, U+0000 to U+00FF,
// so that the exact bytes come back from any JSON reader.
std::string JsonString(const std::string& bytes);

void WriteTextHeader(std::ostream& out, const CheckOptions& options, const ListReport& report);
void WriteTextLine(std::ostream& out, const LineReport& line);
void WriteTextSummary(std::ostream& out, const ListReport& report);

// One object on one line for each list (JSON Lines), its lines in between.
void WriteJsonHeader(std::ostream& out, const CheckOptions& options, const ListReport& report);
void WriteJsonLine(std::ostream& out, const LineReport& line);
void WriteJsonSummary(std::ostream& out, const ListReport& report);
