// The process-wide list of upload tasks and the notify procedure of a task.
#ifndef ZEM_UPLOAD_TASK_LIST_H
#define ZEM_UPLOAD_TASK_LIST_H

#include "ZemUpload.h"

namespace zem::upload {

// The first task with this document number, or null.
SC_TASK *FindTask(int nDocument);

// The record of a task, or null.
REQUEST_CONTEXT *FindRecord(int nDocument);

// Marks the task as in a run and returns it; null (ERROR_BUSY when it is
// in a run already) when it cannot run. Until EndTaskRun the task is neither
// released nor run again.
SC_TASK *BeginTaskRun(int nDocument);
void EndTaskRun(const SC_TASK *node);

// Calls the notify procedure of the task whose document number the record
// carries, so only tasks in the list are reached.
void NotifyTask(const REQUEST_CONTEXT *ctx, int nCode, INT_PTR nValue);

}  // namespace zem::upload

#endif  // ZEM_UPLOAD_TASK_LIST_H
