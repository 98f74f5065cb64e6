#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace corvane::host {

/** The help text, with the plug-in's parameters and their ranges. */
std::string UsageText();

/**
 * Runs one corvane-host command. args excludes the program name. The summary goes to out;
 * usage problems and failures become one "corvane-host: " line on err. showProgress draws a
 * progress bar on err (for a terminal). Returns the process exit status.
 */
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool showProgress = false);
int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
               bool showProgress = false);

}  // namespace corvane::host
