#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace corvane::host {

/** What `corvane-host snapshot --help` prints. */
std::string SnapshotUsageText();

/**
 * `corvane-host snapshot`: opens the module's editor without a window, plays IN (or silence)
 * into the plug-in up to a moment, applies pointer events, prints the parameter gestures the
 * host sees and writes the editor's last frame as a PNG. args are those after "snapshot".
 * Throws HostError; returns the exit status.
 */
int RunSnapshot(const std::vector<std::string>& args, std::ostream& out);

}  // namespace corvane::host
