#include "aax/library/AAX_CParameterManager.h"

#include <algorithm>

AAX_CParameterManager::~AAX_CParameterManager() {
  RemoveAllParameters();
}

void AAX_CParameterManager::SetAutomationDelegate(AAX_VAutomationDelegate* delegate) {
  mDelegate = delegate;
  for (auto& parameter : mParameters) parameter->SetAutomationDelegate(delegate);
}

void AAX_CParameterManager::AddParameter(AAX_IParameter* parameter) {
  std::unique_ptr<AAX_IParameter> owned(parameter);
  if (!owned || mByID.count(std::string_view(owned->Identifier())) != 0) return;
  mByID.emplace(owned->Identifier(), owned.get());
  mParameters.push_back(std::move(owned));
  mParameters.back()->SetAutomationDelegate(mDelegate);
}

void AAX_CParameterManager::RemoveParameterByID(AAX_CParamID id) {
  if (!id) return;
  const auto found = mByID.find(std::string_view(id));
  if (found == mByID.end()) return;
  AAX_IParameter* parameter = found->second;
  mByID.erase(found);
  parameter->SetAutomationDelegate(nullptr);
  mParameters.erase(std::find_if(mParameters.begin(), mParameters.end(),
                                 [parameter](const auto& p) { return p.get() == parameter; }));
}

void AAX_CParameterManager::RemoveAllParameters() {
  for (auto& parameter : mParameters) parameter->SetAutomationDelegate(nullptr);
  mByID.clear();
  mParameters.clear();
}

AAX_IParameter* AAX_CParameterManager::GetParameterByID(AAX_CParamID id) const {
  if (!id) return nullptr;
  const auto found = mByID.find(std::string_view(id));
  return found == mByID.end() ? nullptr : found->second;
}

AAX_IParameter* AAX_CParameterManager::GetParameter(int32_t index) const {
  if (index < 0 || index >= NumParameters()) return nullptr;
  return mParameters[static_cast<size_t>(index)].get();
}

int32_t AAX_CParameterManager::GetParameterIndex(AAX_CParamID id) const {
  const AAX_IParameter* parameter = GetParameterByID(id);
  if (!parameter) return -1;
  for (int32_t i = 0; i < NumParameters(); ++i) {
    if (mParameters[static_cast<size_t>(i)].get() == parameter) return i;
  }
  return -1;
}
