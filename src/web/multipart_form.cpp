#include "web/multipart_form.h"

#include <algorithm>
#include <cctype>
#include <random>
#include <string_view>
#include <utility>

namespace {

constexpr char kBoundaryPrefix[] = "VornBSL-form-";
constexpr size_t kBoundaryRandomChars = 24;
constexpr char kBoundaryAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr char kDefaultMimeType[] = "application/octet-stream";

// The files people attach to feedback; one short table, so every platform sends the same types.
constexpr std::pair<std::string_view, std::string_view> kMimeTypes[] = {
    {"txt", "text/plain"},
    {"log", "text/plain"},
    {"csv", "text/csv"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"xml", "application/xml"},
    {"json", "application/json"},
    {"rtf", "text/rtf"},
    {"pdf", "application/pdf"},
    {"zip", "application/zip"},
    {"7z", "application/x-7z-compressed"},
    {"gz", "application/gzip"},
    {"png", "image/png"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"gif", "image/gif"},
    {"bmp", "image/bmp"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"doc", "application/msword"},
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {"xls", "application/vnd.ms-excel"},
    {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {"exe", "application/x-msdownload"},
};

// A name inside a quoted header parameter: no quote or line break may end it early.
std::string HeaderSafe(std::string text) {
  for (char& c : text) {
    if (c == '"' || c == '\\' || c == '\r' || c == '\n') c = '_';
  }
  return text;
}

std::string RandomBoundary() {
  static thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kBoundaryAlphabet - 2);
  std::string boundary = kBoundaryPrefix;
  for (size_t i = 0; i < kBoundaryRandomChars; ++i) boundary += kBoundaryAlphabet[pick(random)];
  return boundary;
}

bool AnyPartHolds(const MultipartForm& form, const std::string& boundary) {
  return std::any_of(form.parts.begin(), form.parts.end(),
                     [&](const FormPart& part) { return part.body.find(boundary) != std::string::npos; });
}

void AppendPart(std::string& body, const std::string& boundary, const FormPart& part) {
  body += "--" + boundary + "\r\n";
  body += "Content-Disposition: form-data; name=\"" + HeaderSafe(part.name) + '"';
  if (!part.fileName.empty()) body += "; filename=\"" + HeaderSafe(part.fileName) + '"';
  body += "\r\n";
  if (!part.contentType.empty()) body += "Content-Type: " + HeaderSafe(part.contentType) + "\r\n";
  body += "\r\n";
  body += part.body;
  body += "\r\n";
}

}  // namespace

void AddFormField(MultipartForm& form, const std::string& name, const std::string& value) {
  form.parts.push_back({name, {}, {}, value});
}

void AddFormFile(MultipartForm& form, const std::string& fileName, const std::string& bytes) {
  form.parts.push_back({fileName, fileName, MimeTypeOf(fileName), bytes});
}

EncodedForm EncodeForm(const MultipartForm& form) {
  std::string boundary = RandomBoundary();
  while (AnyPartHolds(form, boundary)) boundary = RandomBoundary();
  EncodedForm encoded;
  encoded.contentType = "multipart/form-data; boundary=" + boundary;
  for (const FormPart& part : form.parts) AppendPart(encoded.body, boundary, part);
  encoded.body += "--" + boundary + "--\r\n";
  return encoded;
}

std::string MimeTypeOf(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return kDefaultMimeType;
  std::string extension = fileName.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  for (const auto& [known, type] : kMimeTypes) {
    if (extension == known) return std::string(type);
  }
  return kDefaultMimeType;
}
