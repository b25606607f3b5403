// The hand-over between the two threads of an asynchronous run.
//
// The caller's thread runs the upload window, the internet library's thread
// runs the status callback, and both work on the same record, whose fields
// must stay plain (its layout is an interface). Each of them holds the task's
// gate while it works on the record, so the record only ever has one writer
// at a time and every change is seen by the thread that enters next. The gate
// is kept outside the record, keyed by its address: a callback whose context
// is not a record in a run (or one whose run has ended) finds no gate and
// leaves the pointer alone.
#ifndef ZEM_UPLOAD_RUN_GATE_H
#define ZEM_UPLOAD_RUN_GATE_H

#include <memory>

#include "ZemUpload.h"

namespace zem::upload {

struct RunGate;

// Opens the gate of a record when its asynchronous run starts.
void OpenRunGate(const REQUEST_CONTEXT *ctx);
// Closes it when the run ends: no thread enters any more, and the call waits
// until every thread inside has left (one that let the other thread in
// around a network wait comes back and finishes first), so that afterwards
// the caller may release the task. The run's handles must be closed before,
// so that such a wait ends.
void CloseRunGate(const REQUEST_CONTEXT *ctx);

// Holds the gate of a record for the lifetime of the object; a thread that
// holds it already enters again.
class RunGateHold {
 public:
  explicit RunGateHold(const void *pvRecord);
  ~RunGateHold();
  RunGateHold(const RunGateHold &) = delete;
  RunGateHold &operator=(const RunGateHold &) = delete;

  // Whether the record is in a run and the gate is held.
  bool entered() const { return gate_ != nullptr; }

  // A query of the download that the internet library finishes later
  // (ERROR_IO_PENDING) reports its end to the status callback. The download
  // awaits that report, and the callback hands it over instead of taking it
  // for the end of the request. Only with the gate held.
  void AwaitCompletion(bool bAwait);
  bool CompletionArrived() const;
  // In the callback: whether a download awaited the report (it has it now).
  bool HandOverCompletion();

  // Lets the other thread in for the duration of a call that may wait for it
  // (closing a handle waits for the callback in progress) or that gives it
  // time (the wait before a close).
  class Opening {
   public:
    explicit Opening(RunGateHold &hold);
    ~Opening();
    Opening(const Opening &) = delete;
    Opening &operator=(const Opening &) = delete;

   private:
    RunGateHold &hold_;
    int depth_ = 0;
  };

 private:
  std::shared_ptr<RunGate> gate_;
};

}  // namespace zem::upload

#endif  // ZEM_UPLOAD_RUN_GATE_H
