// fragebogen-check-script: lets a study that replaces content/ fail its build
// instead of its participants.
#include "content/embedded.h"
#include "tools/script_checker/cli.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return fb::runScriptChecker(args, &fb::embeddedResources(), std::cout, std::cerr);
}
