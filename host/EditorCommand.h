#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace corvane::host {

/** What `corvane-host editor --help` prints. */
std::string EditorUsageText();

/**
 * `corvane-host editor`: opens the module's editor in a window of the host's and plays IN (or
 * the demo) through the plug-in at real-time pace, printing the parameter gestures and keys the
 * host sees, until the window closes or the input ends. args are those after "editor". Throws
 * HostError; returns the exit status.
 */
int RunEditor(const std::vector<std::string>& args, std::ostream& out);

}  // namespace corvane::host
