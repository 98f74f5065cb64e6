#pragma once

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_Errors.h"

/**
 * The versions of one host interface that a host object offers, queried once and released on
 * destruction. V2 extends V1 and V3 extends V2; an interface with fewer versions repeats its
 * last type and passes a null ID for the missing ones.
 *
 * Newest<n>() returns the newest version present that has the operations of version n, so
 * every call goes to the newest implementation the host offers. A wrapper whose needed version
 * is missing returns Missing() without reaching the host: AAX_ERROR_NULL_OBJECT when the host
 * object offers no version at all (or there is no host object), AAX_ERROR_UNIMPLEMENTED when it
 * only offers older versions.
 */
template <class V1, class V2, class V3>
class AAX_CInterfaceVersions {
 public:
  AAX_CInterfaceVersions(IACFUnknown* unknown, const acfIID* iid1, const acfIID* iid2,
                         const acfIID* iid3) noexcept
      : mV1(iid1 ? AAX_QueryInterface<V1>(unknown, *iid1) : nullptr),
        mV2(iid2 ? AAX_QueryInterface<V2>(unknown, *iid2) : nullptr),
        mV3(iid3 ? AAX_QueryInterface<V3>(unknown, *iid3) : nullptr) {}

  ~AAX_CInterfaceVersions() {
    if (mV3) mV3->Release();
    if (mV2) mV2->Release();
    if (mV1) mV1->Release();
  }

  AAX_CInterfaceVersions(const AAX_CInterfaceVersions&) = delete;
  AAX_CInterfaceVersions& operator=(const AAX_CInterfaceVersions&) = delete;

  V1* Newest1() const noexcept {
    if (mV3) return mV3;
    if (mV2) return mV2;
    return mV1;
  }
  V2* Newest2() const noexcept {
    if (mV3) return mV3;
    return mV2;
  }
  V3* Newest3() const noexcept { return mV3; }

  /** The exact versions as obtained. */
  V1* Version1() const noexcept { return mV1; }
  V2* Version2() const noexcept { return mV2; }
  V3* Version3() const noexcept { return mV3; }

  bool Any() const noexcept { return mV1 || mV2 || mV3; }
  AAX_Result Missing() const noexcept {
    return Any() ? AAX_ERROR_UNIMPLEMENTED : AAX_ERROR_NULL_OBJECT;
  }
  /** An interface pointer of the object (for passing it to other host calls); null if none. */
  IACFUnknown* Unknown() const noexcept { return Newest1(); }

 private:
  V1* mV1;
  V2* mV2;
  V3* mV3;
};

/** Calls v->call when v is present, else returns missing. */
#define AAX_CALL_NEWEST(versions, n, call)                                      \
  do {                                                                          \
    if (auto* aaxInterface = (versions).Newest##n()) return aaxInterface->call; \
    return (versions).Missing();                                                \
  } while (0)
