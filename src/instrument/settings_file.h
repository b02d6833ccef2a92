// The settings file: key="value" lines that carry a device's settings across
// an update (and across a restart of the updater when an update fails half
// way). WriteInfoFile writes the held settings in the layout of the device's
// family; ReadInfoFile reads one back into the held settings.
//
// Values are written as held; a double quote inside a value is written twice
// (as in CSV), and the readers fold a doubled quote back into one. Files from
// before that rule never hold a quote inside a value, so they read as before.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct InstrumentLink;

constexpr std::string_view kSettingsFileHeader = "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\n";
// A settings file is a few kilobytes; anything far larger is not one.
constexpr size_t kSettingsFileMaxBytes = 4u << 20;

int WriteInfoFile(InstrumentLink& link, const std::string& path);
int ReadInfoFile(InstrumentLink& link, const std::string& path);
// What ReadInfoFile does with the text of the file once it is read.
int ReadInfoText(InstrumentLink& link, std::string_view text);

// The file's text in the layout of the link's device kind (what WriteInfoFile writes).
std::string SettingsFileText(const InstrumentLink& link);

// Key readers over the whole text of a file. A key is found at the start of a
// line followed by '='; when no line starts with it, anywhere in the text
// outside the quoted values. The value runs from the next double quote to the
// closing one.
// ReadKeyText keeps at most n - 1 characters and finds only a non-empty value.
bool ReadKeyText(std::string_view text, std::string_view key, std::string* destination, size_t n);
// These find the key whenever a quote follows it; no digits read as 0.
bool ReadKeyNumber(std::string_view text, std::string_view key, long* number);
bool ReadKeyReal(std::string_view text, std::string_view key, double* number);
// Whether the key occurs in the text (the same lookup as the readers).
bool HasKey(std::string_view text, std::string_view key);
