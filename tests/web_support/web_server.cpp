#include "web_support/web_server.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A served path ("/versionfinder/x.txt" or "x.txt") as a file below the root.
fs::path Below(const std::string& root, const std::string& path) {
  return fs::path(root) / fs::path(path).relative_path();
}

std::string FileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string WebServer::Url() const { return "http://127.0.0.1:" + std::to_string(port); }

void WebServer::Put(const std::string& path, const std::string& contents) const {
  const fs::path file = Below(root, path);
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << contents;
}

std::string WebServer::Read(const std::string& path) const { return FileText(Below(root, path)); }

bool WebServer::Has(const std::string& path) const { return fs::exists(Below(root, path)); }

PostedForm WebServer::Posted() const {
  const fs::path posted = fs::path(root) / "posted";
  PostedForm form{FileText(posted / "path"), FileText(posted / "content_type"), FileText(posted / "user_agent"),
                  FileText(posted / "accept"), {}};
  for (int i = 0; fs::exists(posted / std::to_string(i)); ++i) {
    const fs::path part = posted / std::to_string(i);
    form.parts.push_back(
        {FileText(part / "name"), FileText(part / "filename"), FileText(part / "type"), FileText(part / "data")});
  }
  return form;
}
