// Fragebogen: the questionnaire client of the humour study.
#include "app/application.h"
#include "app/config.h"
#include "app/working_folder.h"
#include "platform/dialogs.h"

#include <cstring>
#include <iostream>
#include <stdexcept>

int main(int argc, char** argv) {
    bool desktop = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << fb::versionText();
            return 0;
        }
        if (std::strcmp(argv[i], fb::kDesktopOption) == 0)
            desktop = true;
    }
#ifdef _WIN32
    // Started from the Start menu or by a double click, as Windows programs
    // are: always the folder of its own.
    desktop = true;
#endif
    // Chosen before anything is read, so every file is found in one place.
    const std::string folderError = desktop ? fb::enterWorkingFolder(fb::desktopWorkingFolder()) : "";
    fb::Application app(argc, argv);
    if (!folderError.empty()) {
        fb::setApplicationTitle(fb::applicationTitleText());
        fb::reportException(std::runtime_error(folderError));
        return 1;
    }
    fb::Program program(fb::embeddedProgramResources());
    program.show();
    return app.exec();
}
