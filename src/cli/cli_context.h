// What every command of vornbsl-cli shares: the data folder, the message log
// behind the error file, the window caption the texts are built from, and the
// way a failure is told ("TITLE: TEXT" on stderr).
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "cli/cli_terminal.h"
#include "log/message_log.h"

constexpr int kExitSuccess = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct CliContext {
  std::string dataDir;
  MessageLog log;
  std::string caption;  // "Pelloran TGX Firmware Updater"
  std::string linePrefix;  // "PORT: " before every stderr line when several devices are updated at once
};

// The data folder: the given one, else VORNBSL_DATA_DIR, else the per-user data
// folder + "/Tessaly/VornBSL". Created when missing; empty when that fails.
std::string ResolveDataDir(const std::string& given);

// Creates the data folder and opens the error file in it at protocol level.
bool OpenContext(CliContext& context, const std::string& givenDataDir);

// The caption of the build: the built-in image's kind name (a sensor build's:
// its sensor type's name) + " Firmware Updater".
std::string BuildCaption();
// The program's name: vornbsl-cli, or vornbsl-sensor-cli in a digital-sensor build.
std::string ProgramName();
// A usage line with the program's own name in front.
std::string UsageText(const std::string& usage);

// A box text on one line: line breaks folded into single spaces.
std::string OneLine(const std::string& text);
// Prints "TITLE: TEXT" (line breaks folded to spaces) to stderr, logs it, and
// returns kExitFailed. The code is added when the text does not carry it.
int ReportFailure(const CliContext& context, const std::string& title, const std::string& text, int code);

// Bad usage: the message and a hint to stderr; returns kExitUsage.
int ReportUsage(const std::string& message, const std::string& usage);

// Takes "--name VALUE" out of args; false with a usage message when the value is missing.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string* value, std::string* error);
// Takes every "--name VALUE" out of args, in order; false with a usage message when a value is missing.
// A --port that is written as a URL must be a network port's ("rfc2217://HOST:PORT"): false with
// the reason, naming the URL, when it is not.
bool PortNameValid(const std::string& port, std::string* error);
bool TakeOptions(std::vector<std::string>& args, const std::string& name, std::vector<std::string>* values,
                 std::string* error);

// Whether a typed reply is one of `words` (lower case), whatever its letters' case.
bool ReplyIsOneOf(std::string reply, std::initializer_list<const char*> words);
