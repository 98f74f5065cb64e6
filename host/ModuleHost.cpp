#include "host/ModuleHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "aax/interfaces/AAX_Context.h"
#include "host/HostError.h"

namespace corvane::host {

namespace fs = std::filesystem;

namespace {

/** How often the host calls TimerWakeup. */
constexpr uint32_t kWakeUpIntervalMs = 20;

std::string Quoted(const fs::path& path) {
  std::string text(1, '\'');
  text.append(path.string()).push_back('\'');
  return text;
}

std::string ModuleName(const fs::path& path) {
  return "module " + Quoted(path);
}

/** A chunk record in memory as the plug-in reads and fills it: aligned for its int32 fields. */
class ChunkBuffer {
 public:
  explicit ChunkBuffer(size_t dataSize)
      : mWords((AAX_ChunkAllocationSize(dataSize) + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0) {}
  AAX_SPlugInChunk* Get() { return reinterpret_cast<AAX_SPlugInChunk*>(mWords.data()); }
  size_t Capacity() const { return mWords.size() * sizeof(uint64_t) - kAAX_ChunkHeaderSize; }

 private:
  std::vector<uint64_t> mWords;
};

}  // namespace

// ---------------------------------------------------------------------------------------------

ModuleHost::ModuleHost(const fs::path& path, aaxhost::HostRunLoop::Clock clock) {
  std::error_code ec;
  mPath = fs::absolute(path, ec);
  if (ec) mPath = path;
  if (!fs::exists(mPath, ec)) throw HostError(ModuleName(path) + " does not exist");
  if (fs::is_directory(mPath, ec))
    throw HostError(ModuleName(path) + " is a directory, not a shared library");

  dlerror();
  mHandle = ::dlopen(mPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!mHandle) {
    const char* reason = dlerror();
    throw HostError("cannot load " + ModuleName(path) + ": " + (reason ? reason : "unknown error"));
  }

  try {
    mStartup = Lookup<AAX_ACFStartupProc>(kAAX_ExportName_Startup);
    mShutdown = Lookup<AAX_ACFShutdownProc>(kAAX_ExportName_Shutdown);
    mRegisterPlugin = Lookup<AAX_ACFRegisterPluginProc>(kAAX_ExportName_RegisterPlugin);
    mRegisterComponent = Lookup<AAX_ACFRegisterComponentProc>(kAAX_ExportName_RegisterComponent);
    mGetClassFactory = Lookup<AAX_ACFGetClassFactoryProc>(kAAX_ExportName_GetClassFactory);
    mCanUnloadNow = Lookup<AAX_ACFCanUnloadNowProc>(kAAX_ExportName_CanUnloadNow);
    mGetSdkVersion = Lookup<AAX_ACFGetSDKVersionProc>(kAAX_ExportName_GetSDKVersion);

    if (const ACFRESULT result = mGetSdkVersion(&mSdkVersion); result != ACF_OK)
      throw HostError(ModuleName(path) + " does not tell its SDK version (ACFGetSDKVersion " +
                      std::to_string(result) + ")");

    mRunLoop = std::make_unique<aaxhost::HostRunLoop>(clock);
    mServices = std::make_unique<aaxhost::HostServices>(mRunLoop.get());
    if (const ACFRESULT result = mStartup(static_cast<AAX_IHostServicesV1*>(mServices.get()));
        result != ACF_OK)
      throw HostError(ModuleName(path) + " failed to start (ACFStartup " + std::to_string(result) +
                      ")");
    mStarted = true;

    mCollection = std::make_unique<aaxhost::Collection>();
    IACFPluginDefinition* definition = nullptr;
    const ACFRESULT result = mRegisterPlugin(mCollection->GetUnknown(), &definition);
    const bool ours = definition == mCollection->Definition();
    if (definition) definition->Release();
    if (result != ACF_OK)
      throw HostError(ModuleName(path) + " failed to describe its plug-in (ACFRegisterPlugin " +
                      std::to_string(result) + ")");
    if (!ours)
      throw HostError(ModuleName(path) +
                      " did not hand back the plug-in definition of the description");
  } catch (...) {
    Shutdown();
    // Only a module without live objects may go; one that made objects it could not release
    // keeps its code, and the host objects it may still reach.
    if (!mCanUnloadNow || mCanUnloadNow() == 0) {
      ::dlclose(mHandle);
      mHandle = nullptr;
    } else {
      Abandon();
    }
    throw;
  }
}

ModuleHost::~ModuleHost() {
  try {
    Close();
  } catch (...) {
  }
}

template <typename Proc>
Proc ModuleHost::Lookup(const char* name) {
  dlerror();
  void* symbol = ::dlsym(mHandle, name);
  if (!symbol) throw HostError(ModuleName(mPath) + " lacks the entry point " + name);
  return reinterpret_cast<Proc>(symbol);
}

const aaxhost::Effect& ModuleHost::Effect() const {
  const auto& effects = Description().effects;
  if (effects.empty()) throw HostError(ModuleName(mPath) + " describes no effect");
  return effects.front();
}

int32_t ModuleHost::LiveObjects() const {
  return mHandle ? mCanUnloadNow() : 0;
}

void ModuleHost::Abandon() noexcept {
  struct Kept {
    std::unique_ptr<aaxhost::HostRunLoop> runLoop;
    std::unique_ptr<aaxhost::HostServices> services;
    std::unique_ptr<aaxhost::Collection> collection;
  };
  // Never destroyed, not even at exit, when the module's own teardown may still use them.
  static auto* const kept = new std::vector<Kept>;
  try {
    kept->push_back(Kept{std::move(mRunLoop), std::move(mServices), std::move(mCollection)});
  } catch (...) {
    (void)mRunLoop.release();
    (void)mServices.release();
    (void)mCollection.release();
  }
  mHandle = nullptr;
}

void ModuleHost::Shutdown() noexcept {
  if (!mStarted) return;
  mStarted = false;
  mShutdown();
}

void ModuleHost::Close() {
  if (!mHandle) return;
  const int32_t live = mCanUnloadNow();
  if (live != 0) {
    Abandon();
    throw HostError(kExitFailure, ModuleName(mPath) + " still reports " + std::to_string(live) +
                                      " live objects after the host released all of its own "
                                      "(ACFCanUnloadNow); it is not unloaded");
  }
  Shutdown();
  ::dlclose(mHandle);
  mHandle = nullptr;
  mCollection.reset();
  mServices.reset();
  mRunLoop.reset();
}

// ---------------------------------------------------------------------------------------------

std::optional<int32_t> ComponentStemFormat(const aaxhost::Component& component) {
  const auto input = component.ProcProperty(AAX_eProperty_InputStemFormat);
  const auto output = component.ProcProperty(AAX_eProperty_OutputStemFormat);
  if (!input || !output || *input != *output) return std::nullopt;
  return *input;
}

std::string ExactText(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

const aaxhost::Component* FindComponentForChannels(const aaxhost::Effect& effect, int channels) {
  const int32_t wanted = AAX_StemFormatForChannelCount(channels);
  for (const aaxhost::Component& component : effect.components) {
    if (ComponentStemFormat(component) == wanted && !component.processProcs.empty() &&
        component.processProcs.front().proc)
      return &component;
  }
  return nullptr;
}

ModuleInstance::ModuleInstance(ModuleHost& module, const aaxhost::Component& component,
                               double sampleRate)
    : mModule(module),
      mComponent(component),
      mHost(std::make_unique<aaxhost::InstanceHost>()),
      mSampleRate(sampleRate) {
  const aaxhost::Effect& effect = module.Effect();
  const AAX_CCreateObjectProc create = effect.FindProcPtr(kAAX_ProcPtrID_Create_EffectParameters);
  if (!create)
    throw HostError(ModuleName(module.Path()) +
                    " describes no effect-parameters creation procedure");

  aaxhost::Controller& controller = mHost->GetController();
  controller.SetSampleRate(static_cast<float>(sampleRate));
  controller.SetStemFormats(
      component.ProcProperty(AAX_eProperty_InputStemFormat).value_or(AAX_eStemFormat_None),
      component.ProcProperty(AAX_eProperty_OutputStemFormat).value_or(AAX_eStemFormat_None));
  controller.SetEffectID(effect.effectID);
  std::map<AAX_CFieldIndex, uint32_t> ports;
  for (const aaxhost::Field& field : component.fields) {
    if (field.kind == aaxhost::FieldKind::kDataInPort) ports[field.index] = field.dataSize;
    if (field.kind == aaxhost::FieldKind::kMeters) controller.SetMeterIDs(field.meterIDs);
  }
  controller.SetDataPorts(std::move(ports));
  mHost->GetAutomationDelegate().SetSetValueHandler(
      [this](const std::string& id, double value) { mPostedRequests.emplace_back(id, value); });
  mHost->GetAutomationDelegate().SetTouchHandler(
      [this](const std::string& id, bool touched) { mTouchChanges.emplace_back(id, touched); });

  aaxhost::TransportState transport;
  transport.sampleRate = sampleRate;
  mHost->GetTransport().SetState(transport);

  mObject = create();
  if (!mObject) throw HostError(ModuleName(module.Path()) + " could not create an instance");
  mParameters = AAX_QueryInterface<AAX_IEffectParametersV1>(mObject, IID_AAX_EffectParametersV1);
  if (!mParameters) {
    mObject->Release();
    throw HostError(ModuleName(module.Path()) + " made an instance without effect parameters");
  }
  mHost->SetEffectParameters(mObject);
  // A host calls TimerWakeup periodically on its main thread, whatever the plug-in does.
  mModule.RunLoop().AddTimer(kWakeUpIntervalMs, &ModuleInstance::WakeUp, this, &mWakeUpTimer);
}

ModuleInstance::~ModuleInstance() {
  Teardown();
}

void ModuleInstance::WakeUp(void* context, uint64_t) noexcept {
  auto* self = static_cast<ModuleInstance*>(context);
  if (self->mParameters) self->mParameters->TimerWakeup();
}

void ModuleInstance::Teardown() {
  if (mWakeUpTimer != 0) mModule.RunLoop().RemoveTimer(mWakeUpTimer);
  mWakeUpTimer = 0;
  if (!mObject) return;
  if (mInitialized) mParameters->Uninitialize();
  mInitialized = false;
  mContext.reset();
  mHost->SetEffectParameters(nullptr);
  mParameters->Release();
  mObject->Release();
  mParameters = nullptr;
  mObject = nullptr;
}

void ModuleInstance::Notify(AAX_CTypeID type, const void* data, uint32_t size) {
  mParameters->NotificationReceived(type, data, size);
  ApplyPostedRequests();
}

void ModuleInstance::Initialize() {
  const AAX_Result result = mParameters->Initialize(mHost.get());
  if (result != AAX_SUCCESS)
    throw HostError("the plug-in in " + ModuleName(mModule.Path()) + " refused to initialize (" +
                    std::to_string(result) + ")");
  mInitialized = true;
  ApplyPostedRequests();
}

int32_t ModuleInstance::ParameterCount() const {
  int32_t count = 0;
  if (mParameters->GetNumberOfParameters(&count) != AAX_SUCCESS) return 0;
  return count;
}

std::string ModuleInstance::ParameterID(int32_t index) const {
  aaxhost::HostString id;
  mParameters->GetParameterIDFromIndex(index, &id);
  return id.Text();
}

std::optional<std::string> ModuleInstance::MasterBypassID() const {
  aaxhost::HostString id;
  if (mParameters->GetMasterBypassParameter(&id) != AAX_SUCCESS) return std::nullopt;
  int32_t index = -1;
  if (mParameters->GetParameterIndex(id.Get(), &index) != AAX_SUCCESS) return std::nullopt;
  return id.Text();
}

std::string ModuleInstance::ParameterName(const std::string& id) const {
  aaxhost::HostString name;
  mParameters->GetParameterName(id.c_str(), &name);
  return name.Text();
}

std::string ModuleInstance::TextForNormalized(const std::string& id, double normalized) const {
  aaxhost::HostString text;
  mParameters->GetParameterStringFromValue(id.c_str(), normalized, &text,
                                           aaxhost::HostString::kMaxLength);
  return text.Text();
}

std::string ModuleInstance::CurrentText(const std::string& id, int32_t maxLength) const {
  aaxhost::HostString text;
  mParameters->GetParameterValueString(id.c_str(), &text, maxLength);
  return text.Text();
}

std::optional<double> ModuleInstance::NormalizedFromText(const std::string& id,
                                                         const std::string& text) const {
  const aaxhost::HostString input(text);
  double value = 0.0;
  if (mParameters->GetParameterValueFromString(id.c_str(), &value, &input) != AAX_SUCCESS)
    return std::nullopt;
  return value;
}

double ModuleInstance::Normalized(const std::string& id) const {
  double value = 0.0;
  mParameters->GetParameterNormalizedValue(id.c_str(), &value);
  return value;
}

double ModuleInstance::DefaultNormalized(const std::string& id) const {
  double value = 0.0;
  mParameters->GetParameterDefaultNormalizedValue(id.c_str(), &value);
  return value;
}

int32_t ModuleInstance::Steps(const std::string& id) const {
  int32_t steps = 0;
  mParameters->GetParameterNumberOfSteps(id.c_str(), &steps);
  return steps;
}

int32_t ModuleInstance::Type(const std::string& id) const {
  int32_t type = AAX_eParameterType_Continuous;
  mParameters->GetParameterType(id.c_str(), &type);
  return type;
}

void ModuleInstance::Apply(const std::string& id, double normalized) {
  const AAX_Result result = mParameters->UpdateParameterNormalizedValue(
      id.c_str(), normalized, AAX_eUpdateSource_Parameter);
  if (result != AAX_SUCCESS)
    throw HostError(kExitFailure, "the plug-in refused the value " + std::to_string(normalized) +
                                      " for its parameter '" + id + "' (" + std::to_string(result) +
                                      ")");
  mApplied[id] = normalized;
  ApplyPostedRequests();
}

void ModuleInstance::ApplyPostedRequests() {
  // Applying a request may make the plug-in post more; the host keeps going until it is quiet.
  for (int round = 0; round < 16 && (!mPostedRequests.empty() || !mTouchChanges.empty()); ++round) {
    std::vector<std::pair<std::string, bool>> touches;
    touches.swap(mTouchChanges);
    for (const auto& [id, touched] : touches)
      mParameters->UpdateParameterTouch(id.c_str(), touched ? 1 : 0);
    std::vector<std::pair<std::string, double>> requests;
    requests.swap(mPostedRequests);
    for (const auto& [id, value] : requests) {
      if (mParameters->UpdateParameterNormalizedValue(id.c_str(), value,
                                                      AAX_eUpdateSource_Parameter) == AAX_SUCCESS)
        mApplied[id] = value;
    }
  }
  mPostedRequests.clear();
  mTouchChanges.clear();
  // The delegate's log is for tests of the host objects; a long render would only grow it.
  mHost->GetAutomationDelegate().ClearEvents();
}

uint32_t ModuleInstance::ChunkID() const {
  int32_t count = 0;
  AAX_CTypeID id = 0;
  if (mParameters->GetNumberOfChunks(&count) != AAX_SUCCESS || count < 1 ||
      mParameters->GetChunkIDFromIndex(0, &id) != AAX_SUCCESS)
    return 0;
  return id;
}

std::vector<uint8_t> ModuleInstance::GetChunk(uint32_t chunkID) const {
  uint32_t size = 0;
  AAX_Result result = mParameters->GetChunkSize(chunkID, &size);
  if (result == AAX_SUCCESS) {
    ChunkBuffer buffer(size);
    AAX_SPlugInChunk* chunk = buffer.Get();
    chunk->fSize = static_cast<int32_t>(size);
    chunk->fChunkID = chunkID;
    result = mParameters->GetChunk(chunkID, chunk);
    if (result == AAX_SUCCESS && chunk->fSize >= 0 &&
        static_cast<size_t>(chunk->fSize) <= buffer.Capacity()) {
      const auto* data = reinterpret_cast<const uint8_t*>(chunk->fData);
      return std::vector<uint8_t>(data, data + chunk->fSize);
    }
    if (result == AAX_SUCCESS) result = AAX_ERROR_INCORRECT_CHUNK_SIZE;
  }
  throw HostError(kExitFailure, "the plug-in did not hand over its state chunk " +
                                    DescribeTypeID(chunkID) + " (" + std::to_string(result) + ")");
}

std::string ModuleInstance::ShortName(const std::string& id, int32_t maxLength) const {
  aaxhost::HostString name;
  mParameters->GetParameterNameOfLength(id.c_str(), &name, maxLength);
  return name.Text();
}

int32_t ModuleInstance::Changes() const {
  int32_t changes = 0;
  mParameters->GetNumberOfChanges(&changes);
  return changes;
}

void ModuleInstance::SetChunk(const ChunkRecord& record) {
  SetChunkRecord(record, false);
}

void ModuleInstance::SetChunkSized(const ChunkRecord& record) {
  SetChunkRecord(record, true);
}

bool ModuleInstance::CompareChunk(const ChunkRecord& record) const {
  ChunkBuffer buffer(record.data.size());
  AAX_SPlugInChunk* chunk = buffer.Get();
  chunk->fSize = static_cast<int32_t>(record.data.size());
  chunk->fChunkID = record.chunkID;
  std::copy(record.data.begin(), record.data.end(), reinterpret_cast<uint8_t*>(chunk->fData));
  AAX_CBoolean equal = 0;
  if (const AAX_Result result = mParameters->CompareActiveChunk(chunk, &equal);
      result != AAX_SUCCESS)
    throw HostError(kExitFailure, "the plug-in could not compare the state chunk " +
                                      DescribeTypeID(record.chunkID) + " (" +
                                      std::to_string(result) + ")");
  return equal != 0;
}

void ModuleInstance::SetChunkRecord(const ChunkRecord& record, bool sized) {
  ChunkBuffer buffer(record.data.size());
  AAX_SPlugInChunk* chunk = buffer.Get();
  chunk->fSize = static_cast<int32_t>(record.data.size());
  chunk->fVersion = record.version;
  chunk->fManufacturerID = record.manufacturerID;
  chunk->fProductID = record.productID;
  chunk->fPlugInID = record.pluginID;
  chunk->fChunkID = record.chunkID;
  std::strncpy(chunk->fName, record.name.c_str(), sizeof(chunk->fName) - 1);
  std::copy(record.data.begin(), record.data.end(), reinterpret_cast<uint8_t*>(chunk->fData));
  AAX_Result result = AAX_ERROR_UNIMPLEMENTED;
  if (!sized) {
    result = mParameters->SetChunk(record.chunkID, chunk);
  } else if (auto* v5 =
                 AAX_QueryInterface<AAX_IEffectParametersV5>(mObject, IID_AAX_EffectParametersV5)) {
    result = v5->SetChunkSized(record.chunkID, chunk,
                               static_cast<uint32_t>(AAX_ChunkAllocationSize(record.data.size())));
    v5->Release();
  }
  if (result != AAX_SUCCESS)
    throw HostError("the plug-in refused the state chunk " + DescribeTypeID(record.chunkID) + " (" +
                    std::to_string(result) + ")");
  ApplyPostedRequests();
}

void ModuleInstance::PrepareContext() {
  mProcessProc = mComponent.processProcs.empty() ? nullptr : mComponent.processProcs.front().proc;
  if (!mProcessProc)
    throw HostError(ModuleName(mModule.Path()) +
                    " describes a component without a process "
                    "procedure");
  // The transport object answers on the audio thread through the transport node.
  mContext = std::make_unique<aaxhost::AlgorithmContext>(
      mComponent, static_cast<AAX_ITransportV1*>(&mHost->GetTransport()));
  mContext->SetSampleRate(static_cast<float>(mSampleRate));
  if (const AAX_Result result = mContext->ResetPrivateData(*mParameters); result != AAX_SUCCESS)
    throw HostError("the plug-in in " + ModuleName(mModule.Path()) +
                    " refused to set up its private data (" + std::to_string(result) + ")");

  const aaxhost::Effect& effect = mModule.Effect();
  mInputTap = mOutputTap = -1;
  for (size_t i = 0; i < mContext->MeterCount(); ++i) {
    for (const aaxhost::Meter& meter : effect.meters) {
      if (meter.id != mContext->MeterID(i)) continue;
      const auto type = aaxhost::FindProperty(meter.properties, AAX_eProperty_Meter_Type);
      if (type == AAX_eMeterType_Input && mInputTap < 0) mInputTap = static_cast<int>(i);
      if (type == AAX_eMeterType_Output && mOutputTap < 0) mOutputTap = static_cast<int>(i);
    }
  }
  mInputPeak = mOutputPeak = 0.0f;
}

void ModuleInstance::ProcessBlock(float* const* inputs, float* const* outputs, int32_t frames,
                                  int64_t position) {
  PrepareBlock(position);
  RenderBlock(inputs, outputs, frames, position);
}

void ModuleInstance::PrepareBlock(int64_t position) {
  aaxhost::TransportState transport;
  transport.playing = true;
  transport.sampleRate = mSampleRate;
  transport.sampleLocation = position;
  transport.tickPosition = static_cast<int64_t>(
      std::llround(static_cast<double>(position) / mSampleRate * (transport.tempo / 60.0) *
                   static_cast<double>(kAAX_TicksPerQuarterNote)));
  mHost->GetTransport().SetState(transport);

  mParameters->GenerateCoefficients();
}

void ModuleInstance::RenderBlock(float* const* inputs, float* const* outputs, int32_t frames,
                                 int64_t position) {
  mContext->DeliverPackets(mHost->GetController());
  mContext->SetAudio(inputs, outputs, frames);
  mContext->SetClock(position);
  if (mWatchProcess) {
    realtime::ScopedProbe probe;
    mContext->Process(mProcessProc);
    mViolations = mViolations + probe.Seen();
  } else {
    mContext->Process(mProcessProc);
  }

  aaxhost::Controller& controller = mHost->GetController();
  for (size_t i = 0; i < mContext->MeterCount(); ++i)
    controller.ReportMeterValue(mContext->MeterID(i), mContext->Meter(i));
  if (mInputTap >= 0)
    mInputPeak = std::max(mInputPeak, mContext->Meter(static_cast<size_t>(mInputTap)));
  if (mOutputTap >= 0)
    mOutputPeak = std::max(mOutputPeak, mContext->Meter(static_cast<size_t>(mOutputTap)));
  mContext->ResetMeters();
}

std::pair<float, float> ModuleInstance::TakeMeterPeaks() {
  const std::pair<float, float> peaks{mInputPeak, mOutputPeak};
  mInputPeak = mOutputPeak = 0.0f;
  return peaks;
}

int32_t ModuleInstance::Latency() const {
  return mHost->GetController().Latency();
}

}  // namespace corvane::host
