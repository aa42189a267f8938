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

// The tool's usage text.
std::string UsageText();

}  // namespace kestrune
