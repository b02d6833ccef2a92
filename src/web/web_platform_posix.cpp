#include <sys/utsname.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <system_error>

#include "log/platform.h"
#include "web/computer_information.h"
#include "web/web_platform.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kOsReleaseFiles[] = {"/etc/os-release", "/usr/lib/os-release"};
constexpr size_t kReadChunk = 64 * 1024;

// KEY=value and KEY="value" lines of the os-release file.
std::map<std::string, std::string> OsRelease() {
  std::map<std::string, std::string> values;
  for (const char* name : kOsReleaseFiles) {
    std::ifstream in(name);
    if (!in) continue;
    for (std::string line; std::getline(in, line);) {
      const size_t equals = line.find('=');
      if (equals == std::string::npos || line[0] == '#') continue;
      std::string value = line.substr(equals + 1);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      values[line.substr(0, equals)] = value;
    }
    break;
  }
  return values;
}

// "12" -> 12 and 0, "22.04" -> 22 and 4; 0 for what is missing.
void VersionNumbers(const std::string& text, int& major, int& minor) {
  major = minor = 0;
  std::sscanf(text.c_str(), "%d.%d", &major, &minor);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string ComputerInformation() {
  struct utsname system {};
  uname(&system);
  const std::map<std::string, std::string> release = OsRelease();
  std::string name = release.count("PRETTY_NAME") != 0 ? release.at("PRETTY_NAME") : "";
  if (name.empty()) name = std::string(system.sysname) + " " + system.release;
  int major = 0;
  int minor = 0;
  if (release.count("VERSION_ID") != 0) VersionNumbers(release.at("VERSION_ID"), major, minor);
  return DescribeComputer(name + " ", {}, major, minor, Lower(system.sysname) + " " + system.release);
}

std::string ProgramFilePath() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : program.string();
}

bool ReadFileBytes(const std::string& path, int64_t maxBytes, std::string& bytes, std::string& failure) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenFileUtf8(path, "rb"), std::fclose);
  if (!file) {
    failure = std::generic_category().message(errno);
    return false;
  }
  bytes.clear();
  char chunk[kReadChunk];
  while (static_cast<int64_t>(bytes.size()) <= maxBytes) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    bytes.append(chunk, got);
    if (got < sizeof chunk) break;
  }
  if (std::ferror(file.get()) != 0) {
    failure = std::generic_category().message(errno);
    return false;
  }
  if (static_cast<int64_t>(bytes.size()) > maxBytes + 1) bytes.resize(static_cast<size_t>(maxBytes + 1));
  return true;
}
