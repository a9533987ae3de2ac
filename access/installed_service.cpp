#include "access/installed_service.h"

#include <cctype>

std::string ImageProgram(const std::string& imagePath) {
  if (!imagePath.empty() && imagePath[0] == '"') {
    return imagePath.substr(1, imagePath.find('"', 1) - 1);
  }
  for (std::string::size_type at = 0; at + 4 <= imagePath.size(); ++at) {
    std::string::size_type end = at + 4;
    bool exe = imagePath[at] == '.' &&
               std::tolower(static_cast<unsigned char>(imagePath[at + 1])) == 'e' &&
               std::tolower(static_cast<unsigned char>(imagePath[at + 2])) == 'x' &&
               std::tolower(static_cast<unsigned char>(imagePath[at + 3])) == 'e';
    if (exe && (end == imagePath.size() || imagePath[end] == ' ' || imagePath[end] == '\t')) {
      return imagePath.substr(0, end);
    }
  }
  return imagePath;
}

bool ImagePathSplits(const std::string& imagePath) {
  bool quoted = !imagePath.empty() && imagePath[0] == '"';
  return !quoted && ImageProgram(imagePath).find_first_of(" \t") != std::string::npos;
}
