#pragma once

#include <cstdint>

#include "framework/IPlugQueue.h"

namespace iplug {

/** One message from the audio thread to an editor control, addressed by the control's tag. */
template <int MAXNC = 1, typename T = float>
struct ISenderData {
  int32_t ctrlTag = -1;
  int32_t nChans = MAXNC;
  int32_t chanOffset = 0;
  T vals[MAXNC] = {};
};

using SenderRecord = ISenderData<1, float>;
static_assert(sizeof(SenderRecord) == 16);

/**
 * Carries values from the audio thread to the editor: the audio thread pushes, the main
 * thread's idle tick drains into the editor delegate. QUEUE_SIZE records wait at most.
 */
template <int MAXNC = 1, int QUEUE_SIZE = 64, typename T = float>
class ISender {
 public:
  using Record = ISenderData<MAXNC, T>;

  ISender() : mQueue(QUEUE_SIZE + 1) {}
  virtual ~ISender() = default;

  /** [audio] Drops the record when the queue is full. */
  bool PushData(const Record& record) noexcept { return mQueue.Push(record); }

  /** [main] Pops every waiting record and sends each to the delegate's control. */
  template <typename Delegate>
  void TransmitToEditor(Delegate& delegate) {
    Record record;
    while (mQueue.Pop(record)) {
      PrepareRecord(record);
      delegate.SendControlMessage(record.ctrlTag, 0, static_cast<int>(sizeof(Record)), &record);
    }
  }

  /** [main] Pops one record; for callers that route records themselves. */
  bool PopData(Record& record) noexcept { return mQueue.Pop(record); }

  uint64_t Waiting() const noexcept { return mQueue.Available(); }

 protected:
  /** Hook applied to each record before it is sent. */
  virtual void PrepareRecord(Record& /*record*/) {}

 private:
  IRingQueue<Record> mQueue;
};

}  // namespace iplug
