// vornbsl-devsim: a simulated device on a pseudo-terminal for tests, benchmarks and demos.
#include <csignal>
#include <cstdio>
#include <iostream>

#include "simulator.h"

namespace {

volatile std::sig_atomic_t gStop = 0;  // set by SIGTERM, SIGINT or SIGHUP; the loop polls it

volatile std::sig_atomic_t gFaultsEnd = 0;  // set by SIGUSR1

extern "C" void OnStopSignal(int) { gStop = 1; }
extern "C" void OnFaultsEndSignal(int) { gFaultsEnd = 1; }

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
  action.sa_handler = OnFaultsEndSignal;
  sigaction(SIGUSR1, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  Simulator sim;
  std::string error;
  if (!ParseSimOptions(argc, argv, sim.options, error)) {
    std::cerr << "vornbsl-devsim: " << error << '\n' << SimUsage() << PassThroughUsage() << InstrumentUsage();
    return 2;
  }
  if (sim.options.help) {
    std::cout << SimUsage() << PassThroughUsage() << InstrumentUsage();
    return 0;
  }
  InstallStopHandlers();
  if (!SimulatorSetup(sim, error)) {
    std::cerr << "vornbsl-devsim: " << error << '\n';
    return 1;
  }
  std::cout << sim.link.slavePath << std::endl;
  RunSimulator(sim, gStop, &gFaultsEnd);
  if (!SimulatorWriteReport(sim, error)) {
    std::cerr << "vornbsl-devsim: " << error << '\n';
    return 1;
  }
  return 0;
}
