// A real folder for tests that read files through the dry-run platform.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

class TempFolder {
 public:
  TempFolder() {
    static std::mt19937 random{std::random_device{}()};
    do {
      path_ = (std::filesystem::temp_directory_path() / ("starter_" + std::to_string(random())))
                  .string();
    } while (!std::filesystem::create_directory(path_));
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }

  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ + "/" + name, std::ios::binary) << bytes;
  }

 private:
  std::string path_;
};
