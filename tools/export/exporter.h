#pragma once
// The command line of fragebogen-export, apart from main() so that its exit
// codes and messages can be tested.
#include "platform/resource_store.h"

#include <ostream>
#include <string>
#include <vector>

namespace fb::exporter {

constexpr int kExportClean = 0;   // every input exported
constexpr int kExportSkipped = 1; // at least one input skipped
constexpr int kExportFailed = 2;  // usage error, no input, unreadable script, output not written

// args without the program name. The summary goes to out; skipped inputs and
// notes go to err, one line each, starting "fragebogen-export: PATH: ".
// resources holds the embedded script used without --script.
int runExport(const std::vector<std::string>& args, const ResourceStore& resources, std::ostream& out,
              std::ostream& err);

} // namespace fb::exporter
