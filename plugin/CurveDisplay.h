#pragma once

#include <mutex>
#include <vector>

namespace corvane {

/**
 * What the plug-in needs of the editor's transfer-curve display: a point array guarded by the
 * display's own mutex, and a way to ask for a redraw. The plug-in writes the points from
 * whichever thread applies a parameter change; the display reads them on the editor thread
 * while it draws, holding the same mutex.
 */
class CurveDisplay {
 public:
  virtual ~CurveDisplay() = default;
  /** Guards Points(); never taken by the audio thread. */
  virtual std::mutex& PointsMutex() = 0;
  /** Curve heights 0..1 from the most negative input to the most positive. */
  virtual std::vector<double>& Points() = 0;
  /** Marks the display for redraw without reporting a value. Called with the mutex held. */
  virtual void MarkForRedraw() = 0;
};

}  // namespace corvane
