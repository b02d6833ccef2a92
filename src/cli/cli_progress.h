// Progress of a long command: on a terminal one line with a bar and the stage
// text, redrawn in place; otherwise plain "stage: TEXT" and "progress: N"
// lines (0-100) that scripts can follow.
#pragma once

#include <cstdio>
#include <string>

#include "bsl/host_bsl.h"

struct CliProgress {
  FILE* out = stdout;
  bool terminal = false;
  std::string prefix;  // "PORT: " before each plain line when several devices are updated at once
  std::string stage;
  int percent = -1;  // last shown
};

CliProgress MakeCliProgress(FILE* out);
// Plain lines led by "PORT: ", even on a terminal: one bar cannot show several devices.
CliProgress MakePortProgress(FILE* out, const std::string& port);
void ShowStage(CliProgress& progress, const std::string& text);
void ShowPercent(CliProgress& progress, int percent);
// Ends the bar's line on a terminal.
void EndProgress(CliProgress& progress);

// The engine's progress hook: the stage's percentage from (total, done); false
// once a stop was requested (Ctrl+C), which ends the running loader operation
// between two frames.
BslProgressHook EngineProgressHook(CliProgress& progress);
