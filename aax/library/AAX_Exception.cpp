#include "aax/library/AAX_Exception.h"

#include <utility>

#include "aax/interfaces/AAX_IHostServices.h"
#include "aax/library/AAX_Assert.h"
#include "aax/library/AAX_Results.h"

namespace AAX::Exception {

namespace {

std::string FullText(const std::string& message, const std::string& function,
                     const std::string& line) {
  std::string text = message;
  if (!function.empty()) text += " func:" + function;
  if (!line.empty()) text += " line:" + line;
  return text;
}

}  // namespace

Any::Any(std::string message, std::string function, std::string line)
    : mMessage(std::move(message)),
      mFunction(std::move(function)),
      mLine(std::move(line)),
      mWhat(FullText(mMessage, mFunction, mLine)) {}

Any::Any(std::string message, std::string function, int line)
    : Any(std::move(message), std::move(function), std::to_string(line)) {}

ResultError::ResultError(AAX_Result code, std::string function, std::string line)
    : Any(FormatResult(code), std::move(function), std::move(line)), mCode(code) {}

ResultError::ResultError(AAX_Result code, std::string function, int line)
    : Any(FormatResult(code), std::move(function), line), mCode(code) {}

std::string ResultError::FormatResult(AAX_Result code) {
  return std::string(AAX_ResultName(code)) + " (" + std::to_string(code) + ")";
}

}  // namespace AAX::Exception

AAX_CheckedResult::AAX_CheckedResult(AAX_Result result) {
  Check(result);
}

AAX_CheckedResult& AAX_CheckedResult::operator=(AAX_Result result) {
  Check(result);
  return *this;
}

void AAX_CheckedResult::AddAcceptedResult(AAX_Result result) {
  mAccepted.insert(result);
}

void AAX_CheckedResult::ResetAcceptedResults() {
  mAccepted = {AAX_SUCCESS};
}

void AAX_CheckedResult::Check(AAX_Result result) {
  if (mAccepted.count(result) != 0) {
    mResult = result;
    return;
  }
  mResult = AAX_SUCCESS;
  mLastError = result;
  AAX::Exception::ResultError error(result);
  AAX_CHostServices::Trace(AAX_eTracePriority_Normal, "AAX_CheckedResult - throwing %s",
                           error.what());
  throw error;
}

void AAX_TraceCaughtException(const char* where, const char* what) noexcept {
  AAX_CHostServices::Trace(AAX_eTracePriority_Critical, "%s - exception caught: %s",
                           where ? where : "", what ? what : "");
}
