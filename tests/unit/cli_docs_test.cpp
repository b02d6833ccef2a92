// The command-line programs' manual pages and bash completion: the pages render without a
// warning, every option --help names is documented and completed, and the completion gives
// commands, options and the ports of the program's own port list.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "cli_process.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSource = VORN_SOURCE_DIR;
const fs::path kCompletion = kSource / "tools" / "completion" / "vornbsl-cli.bash";

struct Program {
  const char* name;
  const char* path;
};
const Program kPrograms[] = {{"vornbsl-cli", VORN_CLI_PATH}, {"vornbsl-sensor-cli", VORN_SENSOR_CLI_PATH}};

// Runs a shell command line; its stdout and stderr together.
std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return out;
  char chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, got);
  const int result = pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return out;
}

std::set<std::string> OptionsIn(const std::string& text) {
  std::set<std::string> options;
  const std::regex option("--[a-z][a-z-]*");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it) {
    options.insert(it->str());
  }
  return options;
}

// What the completion function offers for the words typed so far (the last one being completed).
std::string Complete(const std::string& program, const std::vector<std::string>& words,
                     const std::string& environment = "") {
  std::string array = Quoted(program);
  for (const std::string& word : words) array += " " + Quoted(word);
  const std::string script = "source " + Quoted(kCompletion.string()) + "; COMP_WORDS=(" + array +
                             "); COMP_CWORD=" + std::to_string(words.size()) +
                             "; _vornbsl_cli; printf '%s\\n' \"${COMPREPLY[@]}\"";
  return Shell(environment + " bash -c " + Quoted(script));
}

TEST(CliDocs, ManPagesRenderWithoutWarningsAndDocumentEveryOption) {
  if (Shell("command -v groff").empty()) GTEST_SKIP() << "groff is not installed";
  for (const Program& program : kPrograms) {
    const fs::path page = kSource / "docs" / "man" / (std::string(program.name) + ".1");
    int status = -1;
    EXPECT_EQ(Shell("groff -man -Tutf8 -ww -z " + Quoted(page.string()), &status), "") << page;
    EXPECT_EQ(status, 0) << page;
    // groff turns "\-" into a plain hyphen in ASCII output.
    const std::string rendered = Shell("groff -man -Tascii -P-cbou " + Quoted(page.string()));
    const std::set<std::string> documented = OptionsIn(rendered);
    for (const std::string& option : OptionsIn(Shell(Quoted(program.path) + " --help"))) {
      EXPECT_TRUE(documented.count(option) == 1) << program.name << " page lacks " << option;
    }
    for (const char* section : {"EXIT STATUS", "FILES", "ENVIRONMENT", "dialout", "130"}) {
      EXPECT_NE(rendered.find(section), std::string::npos) << program.name << " page lacks " << section;
    }
  }
}

TEST(CliDocs, CompletionOffersCommandsOptionsAndPorts) {
  for (const Program& program : kPrograms) {
    EXPECT_EQ(Complete(program.path, {"up"}), "update\n") << program.name;
    EXPECT_EQ(Complete(program.path, {"--data-dir", "/tmp", "po"}), "ports\n") << program.name;
    EXPECT_EQ(Complete(program.path, {"update", "--port", "x", "--y"}), "--yes\n") << program.name;
    // Every update option --help names is offered after "update".
    const std::string offered = Complete(program.path, {"update", ""});
    const std::string help = Shell(Quoted(program.path) + " --help");
    const std::string updateOptions = help.substr(help.find("update options:"), help.find("other command options:") -
                                                                                    help.find("update options:"));
    for (const std::string& option : OptionsIn(updateOptions)) {
      EXPECT_NE(offered.find(option + "\n"), std::string::npos) << program.name << " does not complete " << option;
    }
  }
  EXPECT_EQ(Complete(VORN_CLI_PATH, {"update", "--no-e"}), "--no-erase\n");
  EXPECT_EQ(Complete(VORN_SENSOR_CLI_PATH, {"update", "--no-e"}), "\n") << "the sensor build has no --no-erase";
  // A port the program lists (one named by the user) is offered after --port.
  const std::string port = "/dev/vorn-completion-port";
  EXPECT_EQ(Complete(VORN_CLI_PATH, {"update", "--port", "/dev/vorn-c"}, "VORNBSL_EXTRA_PORTS=" + port), port + "\n");
}

}  // namespace
