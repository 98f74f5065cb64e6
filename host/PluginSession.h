#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/StateChunk.h"

namespace corvane::host {

/** What the host shows and checks of one parameter; values are plain, in the display unit. */
struct ParameterInfo {
  std::string name;
  std::string unit;
  double min = 0.0;
  double max = 1.0;
  double defaultValue = 0.0;
  bool isBoolean = false;
};

/** Linear peaks of the host buffers, the largest since the previous reading. */
struct MeterReading {
  double input = 0.0;
  double output = 0.0;
};

/**
 * The host's whole view of a plug-in. Everything the render tool does goes through this
 * interface, so the command line, the file I/O and the render loop work the same with the
 * plug-in loaded from its module and with the in-process plug-in object.
 *
 * Single-threaded use: the host calls everything from one thread, the way an offline renderer
 * interleaves its main-thread and audio-thread duties.
 */
class PluginSession {
 public:
  virtual ~PluginSession() = default;

  virtual int ParameterCount() const = 0;
  /** index must be in 0 .. ParameterCount() - 1. */
  virtual ParameterInfo Parameter(int index) const = 0;
  /** Sets a plain value as a host automation write would, including any editor-side
   * reaction the plug-in needs (a request that takes effect at the next Reset or block). */
  virtual void SetParameter(int index, double plainValue) = 0;
  /** The plug-in's own text for the parameter's current value. */
  virtual std::string ParameterText(int index) const = 0;

  /** False when the plug-in offers the host no master bypass. */
  virtual bool SupportsBypass() const = 0;
  /** Host bypass between blocks; the plug-in fades it in and out itself. */
  virtual void SetBypass(bool bypassed) = 0;

  /** The chunk ID under which the plug-in keeps its state. */
  virtual uint32_t StateChunkID() const = 0;
  /** The plug-in's state as a host stores it. */
  virtual ChunkRecord SaveState() = 0;
  /** Restores a state; its chunk ID must be StateChunkID(). Throws HostError when the plug-in
   * refuses it. */
  virtual void LoadState(const ChunkRecord& record) = 0;

  /** A name the host shows for the track the plug-in sits on. */
  virtual void SetTrackName(const std::string& name) {}

  /**
   * Prepares processing of channels (1 or 2) at a rate for blocks of at most maxBlock frames;
   * parameters set before take effect from the first block on.
   */
  virtual void Reset(double sampleRate, int maxBlock, bool offline, int channels) = 0;
  /** in and out hold `channels` (as given to Reset) planar arrays of frames samples. frames may
   * exceed maxBlock: the session then splits the call. */
  virtual void Process(const float* const* in, float* const* out, int channels, int frames) = 0;
  /** The render that began with Reset is over (an offline bounce ends here). */
  virtual void RenderFinished() {}
  /** Peaks of the host buffers since the previous call. */
  virtual MeterReading TakeMeterReading() = 0;

  /** Delay, in samples, between an input sample and its processed output. */
  virtual int Latency() const = 0;
  /** True while the output does not yet follow the input with Latency() samples of delay,
   * e.g. while internal filters are flushed after a reset or during a mode switch. */
  virtual bool Settling() const = 0;
  /** The host's idle timer; due once per 20 ms of rendered audio. */
  virtual void IdleTick() = 0;

  /** Lets go of the plug-in; throws HostError (failure status) when it cannot be let go of
   * cleanly. The destructor does the same quietly when this was not called. */
  virtual void Close() {}
};

/** A session around an in-process Corvane plug-in object. */
std::unique_ptr<PluginSession> MakeCorvaneSession();

/** The AAX module that came with this tool, which `render` loads unless told otherwise: in
 * lib/corvane beside an installed tool's bin, or in the bin folder of the build it belongs to. */
std::filesystem::path DefaultModulePath();

/** A session around the plug-in loaded from a module, one instance made for the rate and the
 * channel count; throws HostError when the module is missing, cannot be loaded or does not
 * describe a usable effect. */
std::unique_ptr<PluginSession> MakeModuleSession(const std::filesystem::path& module,
                                                 double sampleRate = 48000.0, int channels = 2);

}  // namespace corvane::host
