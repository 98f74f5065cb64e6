#pragma once

#include <cstdint>
#include <string>

namespace corvane::host {

/** The chunk ID Corvane keeps its state under in every format's bundle: one state file serves
 * the AAX module, the VST3 bundle and the CLAP bundle alike. */
inline constexpr uint32_t kCorvaneStateChunkID = 0x6A723030;  // 'jr00'

/** Splits "-60.00dB" into -60 and "dB" (the unit trimmed); false when the text does not start
 * with a number. */
bool SplitNumber(const std::string& text, double& value, std::string& unit);

/** The larger of peak and the largest magnitude among n samples. */
double PeakOf(const float* samples, int n, double peak);

/** Throws the HostError a state file of another plug-in's chunk deserves. */
void CheckStateChunk(uint32_t found, uint32_t expected);

}  // namespace corvane::host
