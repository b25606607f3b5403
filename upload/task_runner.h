// Running a task: the synchronous run on the caller's thread and the
// asynchronous run through the hidden upload window.
#ifndef ZEM_UPLOAD_TASK_RUNNER_H
#define ZEM_UPLOAD_TASK_RUNNER_H

#include "ZemUpload.h"

namespace zem::upload {

// Creates the upload window and runs its message loop until the window is
// destroyed (at the latest after the time-out).
void RunAsynchronously(SC_TASK *node);

}  // namespace zem::upload

#endif  // ZEM_UPLOAD_TASK_RUNNER_H
