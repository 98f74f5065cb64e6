#pragma once

#include <cstdint>
#include <string>

#include "host/aaxhost/Description.h"

namespace corvane::host {

/** Where a description came from, for its heading. */
struct DescribedModule {
  std::string path;
  uint64_t sdkVersion = 0;
  const aaxhost::Description* description = nullptr;
};

/** Everything a module described, in the order it described it, as text for people. */
std::string DescribeAsText(const DescribedModule& module);
/** The same as a JSON document. */
std::string DescribeAsJson(const DescribedModule& module);

/** Text inside JSON quotes: quotes, backslashes and control characters escaped. */
std::string JsonEscape(const std::string& text);

}  // namespace corvane::host
