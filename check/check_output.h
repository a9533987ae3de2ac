// The two ways starter-check shows a report: text for people, JSON for tools.
#pragma once

#include <ostream>
#include <string>

#include "check/list_check.h"

// Bytes as text that shows every one of them: printable ASCII stands as it
// is, "<" and every other byte as <CR>, <LF>, <TAB>, <NUL> or two hex digits
// in angle brackets, such as <83>.
std::string ShowBytes(const std::string& bytes);

// A JSON string literal in which each byte is one character, U+0000 to U+00FF,
// so that the exact bytes come back from any JSON reader.
std::string JsonString(const std::string& bytes);

void WriteText(std::ostream& out, const CheckOptions& options, const ListReport& report);
void WriteJson(std::ostream& out, const CheckOptions& options, const ListReport& report);
