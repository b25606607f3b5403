// The record of one upload task: building it with its defaults, the answer it
// publishes through the caller's pointer, and freeing what it owns.
#ifndef ZEM_UPLOAD_TASK_RECORD_H
#define ZEM_UPLOAD_TASK_RECORD_H

#include "ZemUpload.h"

namespace zem::upload {

// A new zero-filled record with the defaults of a task and a copy of the
// caller's data, its first status lines written; null when the record itself
// cannot be allocated. uDocument, hModule, the notify value and hWnd are left
// to the caller.
REQUEST_CONTEXT *BuildRecord(LPVOID *ppvData, LPVOID *ppvResponse, DWORD cbData, DWORD_PTR dwCallerValue);

// Frees every text and block the record owns and then the record.
void FreeRecord(REQUEST_CONTEXT *ctx);

// The answer: the caller's response pointer, or the answer the library keeps
// for a task without a response address it can write to; null when neither.
LPVOID PublishedResponse(const REQUEST_CONTEXT *ctx);

// Replaces the published answer: frees the one held before (in the caller's
// pointer or kept by the library) and stores pvBlock, cb bytes long, in the
// caller's pointer, or keeps it when that address cannot be written.
void PublishResponse(REQUEST_CONTEXT *ctx, LPVOID pvBlock, DWORD cb);

// The number of data bytes a request may send: cbRequestData, never more than
// the data block holds.
DWORD SendableLength(const REQUEST_CONTEXT *ctx);

}  // namespace zem::upload

#endif  // ZEM_UPLOAD_TASK_RECORD_H
