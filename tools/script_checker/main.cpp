// fragebogen-check-script: lets a study that replaces content/ fail its build
// instead of its participants.
#include "content/embedded.h"
#include "tools/script_checker/cli.h"

#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <memory>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // The preview builds real pages, always offscreen: the author's display
    // must not change what the pictures show, and none is needed.
    std::unique_ptr<QApplication> app;
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg == "--render") {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            app = std::make_unique<QApplication>(argc, argv);
            break;
        }
    }
    return fb::runScriptChecker(args, &fb::embeddedResources(), std::cout, std::cerr);
}
