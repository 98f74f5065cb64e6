#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "aax/interfaces/AAX_IDescription.h"
#include "aax/library/AAX_InterfaceVersions.h"
#include "aax/library/AAX_VEffectDescriptor.h"
#include "aax/library/AAX_VPropertyMap.h"

/** The host's description collection of ACFRegisterPlugin. */
class AAX_VCollection {
 public:
  /** host: the unknown passed to ACFRegisterPlugin. */
  explicit AAX_VCollection(IACFUnknown* host) noexcept;
  AAX_VCollection(const AAX_VCollection&) = delete;
  AAX_VCollection& operator=(const AAX_VCollection&) = delete;
  ~AAX_VCollection();

  bool IsValid() const noexcept { return mHost.Any(); }
  IACFUnknown* GetIUnknown() const noexcept { return mHost.Unknown(); }

  /** A new effect descriptor owned by the collection; null when the host made none. */
  AAX_VEffectDescriptor* NewDescriptor() noexcept;
  /** A new property map owned by the collection; null when the host made none. */
  AAX_VPropertyMap* NewPropertyMap() noexcept;

  AAX_Result AddEffect(const char* effectID,
                       const AAX_VEffectDescriptor* descriptor) const noexcept;
  AAX_Result SetManufacturerName(const char* name) const noexcept;
  AAX_Result AddPackageName(const char* name) const noexcept;
  AAX_Result SetPackageVersion(uint32_t version) const noexcept;
  AAX_Result SetProperties(const AAX_VPropertyMap* properties) const noexcept;
  AAX_Result GetHostVersion(uint32_t* outVersion) const noexcept;

  /**
   * The collection's plug-in definition (IID_IACFPluginDefinition) with a reference for the
   * caller, as ACFRegisterPlugin returns it; null on failure.
   */
  AAX_Result GetPlugInDefinition(IACFPluginDefinition** outDefinition) const noexcept;

 private:
  AAX_CInterfaceVersions<AAX_ICollectionV1, AAX_ICollectionV2, AAX_ICollectionV2> mHost;
  std::vector<std::unique_ptr<AAX_VEffectDescriptor>> mDescriptors;
  std::vector<std::unique_ptr<AAX_VPropertyMap>> mPropertyMaps;
};
