// A multipart/form-data body as the feedback script reads it: text fields and file
// parts, each file with the content type of its extension.
#pragma once

#include <string>
#include <vector>

struct FormPart {
  std::string name;
  std::string fileName;     // empty for a text field
  std::string contentType;  // empty for a text field
  std::string body;
};

struct MultipartForm {
  std::vector<FormPart> parts;
};

void AddFormField(MultipartForm& form, const std::string& name, const std::string& value);
// A file part whose field name and file name are both the file's name.
void AddFormFile(MultipartForm& form, const std::string& fileName, const std::string& bytes);

struct EncodedForm {
  std::string contentType;  // "multipart/form-data; boundary=..."
  std::string body;
};

// The body with a boundary that no part contains.
EncodedForm EncodeForm(const MultipartForm& form);

// The content type of a file by its extension (a small table of the files people send
// with feedback); application/octet-stream for any other.
std::string MimeTypeOf(const std::string& fileName);
