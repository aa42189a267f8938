// The kestrune tool's first argument: a command, or a request for help or for the constants.
#include "tool/commands.h"

namespace kestrune {

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& log) {
    if (args.empty()) {
        log << UsageText();
        return 2;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << UsageText();
        return 0;
    }
    if (command == "--constants") {
        out << ConstantsText();
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    using Command = int (*)(const std::vector<std::string>&, std::ostream&);
    const struct {
        const char* name;
        Command run;
    } commands[] = {
        {"train-ubm", TrainUbmCommand},
        {"enroll", EnrollCommand},
        {"evaluate", EvaluateCommand},
    };
    for (const auto& [name, run] : commands) {
        if (command != name) {
            continue;
        }
        // Help wins over everything else on the line, so that adding --help to a command that
        // was about to fail shows how to write it.
        if (AsksForHelp(rest)) {
            out << CommandUsage(command);
            return 0;
        }
        try {
            return run(rest, log);
        } catch (const std::exception& failure) {
            log << "kestrune " << command << ": " << failure.what() << "\n";
            return 1;
        }
    }
    log << "kestrune: unknown command '" << command << "'\n" << UsageText();
    return 2;
}

}  // namespace kestrune
