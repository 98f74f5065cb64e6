#pragma once

#include <memory>
#include <string>

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

/**
 * The host's whole view of a plug-in. Everything the render tool does goes through this
 * interface, so that the in-process plug-in can later be replaced by one loaded from a shared
 * library without touching the command line, the file I/O or the render loop.
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

  /** Prepares processing at a rate for blocks of at most maxBlock frames; parameters set
   * before take effect from the first block on. */
  virtual void Reset(double sampleRate, int maxBlock, bool offline) = 0;
  /** channels is 1 or 2; in and out hold that many planar arrays of frames samples. frames
   * may exceed maxBlock: the session then splits the call. */
  virtual void Process(const float* const* in, float* const* out, int channels, int frames) = 0;

  /** Delay, in samples, between an input sample and its processed output. */
  virtual int Latency() const = 0;
  /** True while the output does not yet follow the input with Latency() samples of delay,
   * e.g. while internal filters are flushed after a reset or during a mode switch. */
  virtual bool Settling() const = 0;
  /** The host's idle timer; due once per 20 ms of rendered audio. */
  virtual void IdleTick() = 0;
};

/** A session around an in-process Corvane plug-in object. */
std::unique_ptr<PluginSession> MakeCorvaneSession();

}  // namespace corvane::host
