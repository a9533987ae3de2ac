#include <algorithm>
#include <cctype>

#include "install/installation.h"

bool ReadStartType(const std::string& text, StartType& type) {
  std::string word = text;
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  // cppcheck-suppress unusedStructMember
  const struct {
    const char* word;  // cppcheck-suppress unusedStructMember
    StartType type;    // cppcheck-suppress unusedStructMember
  } kWords[] = {{"auto", StartType::kAuto},
                {"automatic", StartType::kAuto},
                {"demand", StartType::kDemand},
                {"manual", StartType::kDemand},
                {"disabled", StartType::kDisabled}};
  auto known = std::find_if(std::begin(kWords), std::end(kWords),
                            [&](const auto& one) { return word == one.word; });
  if (known == std::end(kWords)) return false;
  type = known->type;
  return true;
}
