// The request of a task: connection, request handle, headers, sending the
// inquiry record, the answer's headers and data, and the outcome class.
#ifndef ZEM_UPLOAD_INQUIRY_REQUEST_H
#define ZEM_UPLOAD_INQUIRY_REQUEST_H

#include "ZemUpload.h"

namespace zem::upload {

// Connects to the task's server; the connection handle or null. The
// synchronous run stores it in hConnect, the status callback does so in an
// asynchronous run.
HINTERNET ConnectTask(REQUEST_CONTEXT *ctx);
// The connect step of an asynchronous run: non-zero when a handle came.
int ScAsyncRunRequest(REQUEST_CONTEXT *ctx);

// Opens hRequest on the verb's object (pszFileName for PUT, else pszAppName).
void OpenRequest(REQUEST_CONTEXT *ctx);

// Adds the header slots (and for POST the length and cache headers) and sends
// the data. In an asynchronous run a pending send (FALSE with 997) counts as
// sent.
BOOL SendInquiryRecord(REQUEST_CONTEXT *ctx);

// Up to three queries of the status code, waiting while the answer is not
// final yet; the last code, 0 when none came.
DWORD StatusCodePasses(REQUEST_CONTEXT *ctx);

// Reads the raw headers, the content length and the status code. Non-zero
// when a status code above 0 arrived.
int ReadHeaders(HINTERNET hRequest, REQUEST_CONTEXT *ctx);

// Downloads the answer and publishes it through the caller's pointer.
// Non-zero when data arrived.
int DataDump(HINTERNET hRequest, REQUEST_CONTEXT *ctx);

// Classifies dwStatusCode into dwResultFlags.
void GetInquiryResult(REQUEST_CONTEXT *ctx);

}  // namespace zem::upload

#endif  // ZEM_UPLOAD_INQUIRY_REQUEST_H
