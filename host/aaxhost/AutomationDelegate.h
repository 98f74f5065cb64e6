#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "aax/interfaces/AAX_IAutomationDelegate.h"
#include "host/aaxhost/HostObject.h"

namespace aaxhost {

struct AutomationEvent {
  enum class Kind {
    kRegister,
    kUnregister,
    kTouch,
    kRelease,
    kSetValueRequest,
    kCurrentValue,
    kNameChanged
  };
  Kind kind;
  std::string parameterID;
  double value = 0.0;  ///< set-value requests and current values
};

/**
 * A change the plug-in makes itself (its editor, a restore), as the host's automation sees it:
 * the parameter becomes touched, takes values, becomes untouched. Touches nest, so only the
 * outermost touch and release of a gesture show; every value request shows.
 */
struct Gesture {
  enum class Kind { kTouch, kSet, kRelease };
  Kind kind;
  std::string parameterID;
  double value = 0.0;  ///< normalized; kSet only
};

/**
 * The automation delegate of one instance. Records every call in order; set-value requests are
 * also handed to the host's handler, which normally applies them to the plug-in through
 * UpdateParameterNormalizedValue (synchronously or later, as the host chooses). Touches are
 * counted per parameter: touched while more touches than releases have arrived. Requests for IDs
 * that were never registered are recorded but answered with AAX_ERROR_INVALID_PARAMETER_ID.
 */
class AutomationDelegate final
    : public HostObject<AAX_IAutomationDelegateV1, AAX_IAutomationDelegateV2> {
 public:
  using SetValueHandler = std::function<void(const std::string& parameterID, double value)>;
  /** Called when a parameter becomes touched or untouched, after the delegate's lock. */
  using TouchHandler = std::function<void(const std::string& parameterID, bool touched)>;

  AutomationDelegate();

  void SetSetValueHandler(SetValueHandler handler);
  void SetTouchHandler(TouchHandler handler);
  std::vector<AutomationEvent> Events() const;
  void ClearEvents();
  /** The gestures since the last call, in order; kept apart from Events(), which a host clears
   * as it pleases. Only the newest kMaxGestures are kept for a caller that never asks. */
  std::vector<Gesture> TakeGestures();
  static constexpr size_t kMaxGestures = 1 << 16;
  bool IsRegistered(const std::string& parameterID) const;
  size_t RegisteredCount() const;

  AAX_Result RegisterParameter(AAX_CParamID parameterID) noexcept override;
  AAX_Result UnregisterParameter(AAX_CParamID parameterID) noexcept override;
  AAX_Result PostSetValueRequest(AAX_CParamID parameterID,
                                 double normalizedValue) noexcept override;
  AAX_Result PostCurrentValue(AAX_CParamID parameterID, double normalizedValue) noexcept override;
  AAX_Result PostTouchRequest(AAX_CParamID parameterID) noexcept override;
  AAX_Result PostReleaseRequest(AAX_CParamID parameterID) noexcept override;
  AAX_Result GetTouchState(AAX_CParamID parameterID, AAX_CBoolean* outTouched) noexcept override;
  AAX_Result ParameterNameChanged(AAX_CParamID parameterID) noexcept override;

 private:
  /** Records the event; false when the ID is not registered. */
  bool Record(AutomationEvent::Kind kind, AAX_CParamID parameterID, double value);

  void NotifyTouch(AAX_CParamID parameterID, bool touched);
  void RecordGesture(Gesture::Kind kind, AAX_CParamID parameterID, double value);

  mutable std::mutex mMutex;
  std::vector<AutomationEvent> mEvents;
  std::deque<Gesture> mGestures;
  std::set<std::string> mRegistered;
  // Touches nest, as in a real host: a gesture inside a gesture keeps the parameter touched
  // until the outer one is released.
  std::map<std::string, int> mTouched;
  SetValueHandler mHandler;
  TouchHandler mTouchHandler;
};

}  // namespace aaxhost
