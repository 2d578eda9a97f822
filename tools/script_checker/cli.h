#pragma once
// The command line of fragebogen-check-script, apart from main() so that the
// exit codes and the output format can be tested.
#include "platform/resource_store.h"

#include <ostream>
#include <string>
#include <vector>

namespace fb {

// Exit codes of the checker.
constexpr int kCheckClean = 0;    // no finding in any script
constexpr int kCheckFindings = 1; // at least one finding
constexpr int kCheckTrouble = 2;  // usage error, an unreadable script or an unwritable preview

// args without the program name. Findings go to out as "FILE:LINE: message"
// (line 0: the script as a whole), usage and read errors to err. resources is
// the store for the picture rules unless --no-resources is given, and the
// store the pages are built from with --render (which needs a QApplication).
int runScriptChecker(const std::vector<std::string>& args, const ResourceStore* resources,
                     std::ostream& out, std::ostream& err);

} // namespace fb
