#pragma once

#include "aax/library/AAX_Assert.h"
#include "host/aaxhost/HostServices.h"

namespace aaxtest {

/** Makes services the module-wide host services for one test. */
class HostServicesScope {
 public:
  explicit HostServicesScope(aaxhost::HostServices& services) { AAX_CHostServices::Set(&services); }
  ~HostServicesScope() { AAX_CHostServices::Set(nullptr); }
  HostServicesScope(const HostServicesScope&) = delete;
  HostServicesScope& operator=(const HostServicesScope&) = delete;
};

}  // namespace aaxtest
