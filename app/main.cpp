// Fragebogen: the questionnaire client of the humour study.
#include "app/application.h"
#include "app/config.h"

#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << fb::versionText();
            return 0;
        }
    }
    fb::Application app(argc, argv);
    fb::Program program(fb::embeddedProgramResources());
    program.show();
    return app.exec();
}
