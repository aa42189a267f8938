// The kestrune tool's commands. Each takes the arguments after the command's name, writes its
// progress and errors to `log`, and returns the process exit code.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tool/default_background.h"

namespace kestrune {

int TrainUbmCommand(const std::vector<std::string>& args, std::ostream& log);
int EnrollCommand(const std::vector<std::string>& args, std::ostream& log);
int EvaluateCommand(const std::vector<std::string>& args, std::ostream& log);

// The tool's usage text: all of it, or the synopsis and one command's part ("train-ubm",
// "enroll", "evaluate"; all of it for any other name).
std::string UsageText();
std::string CommandUsage(const std::string& command);

// Markdown tables of every constant a user can set: name, default, range and meaning.
std::string ConstantsText();

// The whole tool: `args` as they follow the program's name; help and the constants go to `out`,
// progress and errors to `log`. Returns the process exit code.
int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& log);

// Whether `args` (what follows a command's name) asks for help: --help or -h anywhere.
bool AsksForHelp(const std::vector<std::string>& args);

}  // namespace kestrune
