#include "host/SessionSupport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "host/HostError.h"
#include "host/StateChunk.h"

namespace corvane::host {

bool SplitNumber(const std::string& text, double& value, std::string& unit) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  value = std::strtod(begin, &end);
  if (end == begin || errno == ERANGE) return false;
  std::string rest(end);
  while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front()))) rest.erase(0, 1);
  while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.back()))) rest.pop_back();
  unit = rest;
  return true;
}

double PeakOf(const float* samples, int n, double peak) {
  for (int i = 0; i < n; ++i) peak = std::max(peak, static_cast<double>(std::fabs(samples[i])));
  return peak;
}

void CheckStateChunk(uint32_t found, uint32_t expected) {
  if (found != expected)
    throw HostError("the state holds chunk " + DescribeTypeID(found) +
                    ", but the plug-in keeps its state in " + DescribeTypeID(expected));
}

}  // namespace corvane::host
