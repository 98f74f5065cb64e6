#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "aax/interfaces/AAX_Types.h"
#include "aax/library/AAX_IParameter.h"

class AAX_VAutomationDelegate;

/**
 * The parameters of one effect in insertion order, with a lookup by ID. Owns them. Main thread.
 */
class AAX_CParameterManager {
 public:
  AAX_CParameterManager() = default;
  ~AAX_CParameterManager();
  AAX_CParameterManager(const AAX_CParameterManager&) = delete;
  AAX_CParameterManager& operator=(const AAX_CParameterManager&) = delete;

  /**
   * The automation delegate handed to every parameter, present and future (null takes it away
   * from all of them). The delegate must outlive its use here.
   */
  void SetAutomationDelegate(AAX_VAutomationDelegate* delegate);
  AAX_VAutomationDelegate* GetAutomationDelegate() const { return mDelegate; }

  /**
   * Takes ownership. A null parameter is ignored; a parameter whose ID is already present is
   * ignored and destroyed. Otherwise it receives the automation delegate and is appended.
   */
  void AddParameter(AAX_IParameter* parameter);
  void RemoveParameterByID(AAX_CParamID id);
  void RemoveAllParameters();

  int32_t NumParameters() const { return static_cast<int32_t>(mParameters.size()); }
  /** Null for an unknown ID or index. */
  AAX_IParameter* GetParameterByID(AAX_CParamID id) const;
  AAX_IParameter* GetParameter(int32_t index) const;
  /** -1 for an unknown ID. */
  int32_t GetParameterIndex(AAX_CParamID id) const;

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const noexcept {
      return std::hash<std::string_view>{}(text);
    }
  };

  std::vector<std::unique_ptr<AAX_IParameter>> mParameters;
  std::unordered_map<std::string, AAX_IParameter*, Hash, std::equal_to<>> mByID;
  AAX_VAutomationDelegate* mDelegate = nullptr;
};
