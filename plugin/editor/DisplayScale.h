#pragma once

#include <string>
#include <string_view>

namespace corvane {

/**
 * The per-user display-scale preference: one line holding the editor's draw scale with four
 * decimals, in $XDG_CONFIG_HOME/Pellumar/Preferences/ (~/.config when XDG_CONFIG_HOME is unset,
 * empty or relative). Main thread only.
 */

/** The preference folder with a trailing slash, or empty text when there is no home. */
std::string DisplayScaleFolder();

/** The file for an identifier ("<id>-display-scale.txt" with characters that are unsafe in file
 * names replaced by '_'), or empty text when id is empty or there is no folder. */
std::string DisplayScalePath(std::string_view id);

/** True and the stored value when the first line is one finite number above 0, optionally
 * surrounded by white space; false otherwise (value unchanged). */
bool ReadDisplayScale(std::string_view id, float& value);

/**
 * Stores a finite value above 0, creating missing folders. The file is replaced as a whole, so
 * a crash or a failure leaves either the old or the new preference, never a partial one.
 */
bool WriteDisplayScale(std::string_view id, float value);

/** The stored scale for "corvane" limited to 0.5 … 4.0, or 1.0 when none can be read. */
float StoredDisplayScale();

}  // namespace corvane
