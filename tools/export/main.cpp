// fragebogen-export: the study's answer files as one table, with a codebook
// and label syntax for SPSS and R.
#include "content/embedded.h"
#include "tools/export/exporter.h"

#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return fb::exporter::runExport(args, fb::embeddedResources(), std::cout, std::cerr);
}
