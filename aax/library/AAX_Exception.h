#pragma once

#include <exception>
#include <set>
#include <string>

#include "aax/interfaces/AAX_Errors.h"

/**
 * Exceptions of the AAX layer. They are used only inside the plug-in module, where a chain of
 * host calls (the description of the effect) is easier to write with one exit for the first
 * failure; they are caught before any host-interface call or export returns.
 */
namespace AAX::Exception {

/** A failure with a message and, when known, the function and line where it arose. */
class Any : public std::exception {
 public:
  explicit Any(std::string message, std::string function = {}, std::string line = {});
  Any(std::string message, std::string function, int line);

  /** The full text: message, then " func:" function and " line:" line when present. */
  const char* what() const noexcept override { return mWhat.c_str(); }
  const std::string& What() const noexcept { return mWhat; }
  const std::string& Message() const noexcept { return mMessage; }
  const std::string& Function() const noexcept { return mFunction; }
  const std::string& Line() const noexcept { return mLine; }

 private:
  std::string mMessage;
  std::string mFunction;
  std::string mLine;
  std::string mWhat;
};

/** A failed result code; the message is its name followed by the code in parentheses. */
class ResultError : public Any {
 public:
  explicit ResultError(AAX_Result code, std::string function = {}, std::string line = {});
  ResultError(AAX_Result code, std::string function, int line);

  AAX_Result Code() const noexcept { return mCode; }
  /** "AAX_ERROR_NULL_OBJECT (-20004)". */
  static std::string FormatResult(AAX_Result code);

 private:
  AAX_Result mCode;
};

}  // namespace AAX::Exception

/**
 * A result variable that throws when it is assigned a code that is not accepted (only
 * AAX_SUCCESS unless more are added), so a chain of host calls needs no test after each call:
 *   AAX_CheckedResult err;
 *   err = descriptor.AddName("x");   // throws AAX::Exception::ResultError on failure
 * Before throwing, the failure is traced to the host at AAX_eTracePriority_Normal.
 */
class AAX_CheckedResult {
 public:
  AAX_CheckedResult() = default;
  /** Checks result like an assignment. */
  AAX_CheckedResult(AAX_Result result);  // NOLINT(google-explicit-constructor)

  AAX_CheckedResult& operator=(AAX_Result result);

  void AddAcceptedResult(AAX_Result result);
  /** Back to accepting only AAX_SUCCESS. */
  void ResetAcceptedResults();

  operator AAX_Result() const noexcept { return mResult; }  // NOLINT
  AAX_Result LastError() const noexcept { return mLastError; }
  void Clear() noexcept { mResult = mLastError = AAX_SUCCESS; }

 private:
  void Check(AAX_Result result);

  AAX_Result mResult = AAX_SUCCESS;
  AAX_Result mLastError = AAX_SUCCESS;
  std::set<AAX_Result> mAccepted{AAX_SUCCESS};
};

/**
 * Runs body (returning AAX_Result) so that no exception leaves: a ResultError gives its code,
 * anything else AAX_ERROR_UNKNOWN_EXCEPTION (traced to the host). For the bodies of host-facing
 * operations that may allocate or call code that throws.
 */
template <class Body>
AAX_Result AAX_CallGuarded(const char* where, Body&& body) noexcept;

void AAX_TraceCaughtException(const char* where, const char* what) noexcept;

template <class Body>
AAX_Result AAX_CallGuarded(const char* where, Body&& body) noexcept {
  try {
    return body();
  } catch (const AAX::Exception::ResultError& e) {
    AAX_TraceCaughtException(where, e.what());
    return e.Code();
  } catch (const std::exception& e) {
    AAX_TraceCaughtException(where, e.what());
  } catch (...) {
    AAX_TraceCaughtException(where, "unknown");
  }
  return AAX_ERROR_UNKNOWN_EXCEPTION;
}
