// The simulator's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fault_plan.h"
#include "instrument_setup.h"
#include "model_options.h"
#include "passthrough_setup.h"

struct SimOptions {
  std::string model = "TGX";
  uint32_t firmwareVersion = 0;  // from MODEL:VERSION; 0 for the model's default
  uint32_t loaderVersion = 0;
  std::optional<uint32_t> loaderBaud;  // --loader-baud RATE | auto (0)
  std::string linkPath;
  std::string reportPath;
  std::string imagePath;
  bool baudTiming = false;
  bool exitAfterUpdate = false;
  bool replug = false;  // after an injected hang-up the cable goes back in: a new pty at --link
  bool startInLoader = false;
  bool noLoader = false;
  int restartMs = 300;
  int adapterLatencyMs = 0;
  uint32_t seed = 1;
  uint32_t unit = 0;  // --unit N: unit N of its model on a bench; 0 (none): the field unit as always
  std::vector<FaultRule> faults;
  ModelOptions modelOptions;  // --radio, --cellular and the other options of a model
  PassThroughSetup passThrough;
  InstrumentSetup instrument;
  bool help = false;
};

// False with a message for bad usage.
bool ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& error);
// "1.40" or "140" in hundredths; false for anything else.
bool ParseVersion(const std::string& text, uint32_t& version);
const char* SimUsage();
