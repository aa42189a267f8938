// kestrune: trains background models and enrolls targets for the engine library.
#include <iostream>
#include <string>
#include <vector>

#include "tool/commands.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kestrune::UsageText();
        return 2;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kestrune::UsageText();
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    try {
        if (command == "train-ubm") {
            return kestrune::TrainUbmCommand(rest, std::cerr);
        }
        if (command == "enroll") {
            return kestrune::EnrollCommand(rest, std::cerr);
        }
        if (command == "evaluate") {
            return kestrune::EvaluateCommand(rest, std::cerr);
        }
    } catch (const std::exception& failure) {
        std::cerr << "kestrune " << command << ": " << failure.what() << "\n";
        return 1;
    }
    std::cerr << "kestrune: unknown command '" << command << "'\n" << kestrune::UsageText();
    return 2;
}
