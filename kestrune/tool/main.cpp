// kestrune: trains background models and enrolls targets for the engine library.
#include <iostream>
#include <string>
#include <vector>

#include "tool/commands.h"

int main(int argc, char** argv) {
    return kestrune::RunTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
