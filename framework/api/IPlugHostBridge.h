#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/IPlugParameter.h"
#include "framework/IPlugProcessor.h"
#include "framework/api/IPlugAPIBase.h"

namespace iplug {

/*
 * What every host binding does the same way, in one place: taking a host's value for a
 * parameter, the texts hosts show and parse, the parameter state image's accept rules and the
 * offline switch. The bindings (AAX, LV2, VST3, CLAP) differ only in how their hosts hand these
 * things over; a rule mended here is mended for all of them.
 */

// ---- Values from a host ----

/** [any] The plain value a host's plain value stands for: clamped into the range and put on the
 * parameter's step; none for a NaN or an infinity, which no parameter can take. */
std::optional<double> HostPlainValue(const IParam& param, double plain);
/** [any] The plain value for a host's normalized value (clamped into 0 … 1 first); none when it
 * is not finite. */
std::optional<double> HostNormalizedValue(const IParam& param, double normalized);
/** [any] The normalized value a host sees for a plain value. */
double HostNormalized(const IParam& param, double plain);

/**
 * [the host's thread for parameter changes] A host's value (already taken: HostPlainValue) for
 * parameter paramIdx, applied as a change from the host: the parameter, the editor's queue
 * (its values go to the controls on the idle tick), then the product. A value the parameter
 * already holds changes nothing and is not reported; returns whether the value changed.
 */
bool ApplyHostValue(IPlugAPIBase& plug, int paramIdx, double plain);
/**
 * [the host's main thread] A host's normalized value for parameter paramIdx. A host echoes back
 * the normalized values it was told: one the parameter already stands for leaves the plain
 * value as it is, so that an echo never moves its last bit. The editor's queue and the product
 * hear of it in any case. Nothing is done for a value that is not finite; returns whether the
 * plain value changed.
 */
bool ApplyHostNormalized(IPlugAPIBase& plug, int paramIdx, double normalized);

// ---- Texts ----

/** [any] The text hosts show for a plain value: the value's own text for switches and lists,
 * else the number with two decimals (none for integers) and the unit directly after it. */
std::string HostValueText(const IParam& param, double plain);
/** [any] The plain value a text a user typed at the host stands for (a number, optionally with
 * the unit after it, or a switch's or list's text); none for anything else. The value is not
 * clamped: callers refuse or clamp as their host expects. */
std::optional<double> HostTextValue(const IParam& param, std::string_view text);

// ---- The parameter state image ----

/** What became of a state image a host handed in. */
enum class EStateImage {
  kRestored,   // the values it holds are in force (an empty image holds none)
  kMalformed,  // refused as a whole: a value that is not finite
};

/**
 * [the host's state thread] Restores a parameter state image through the plug-in's ReadState: a
 * longer one (a later version's) restores the values this version has, a shorter one the values
 * it holds, each conformed to its parameter; every parameter is then reported as changed
 * (source kPresetRecall) and the editor follows. A malformed image changes nothing.
 */
EStateImage RestoreStateImage(IPluginBase& plug, std::span<const uint8_t> image);
/** [any] The image of the parameters' values, as every binding stores it. */
std::vector<uint8_t> StateImageOf(const IPluginBase& plug);

// ---- The offline switch ----

/** [the thread the host says it on] The host renders offline (a bounce) or in real time again;
 * the processor is told only of a change. Returns whether it changed. */
bool SetHostRenderingOffline(IPlugProcessor& processor, bool offline);

}  // namespace iplug
