// The status callback of an asynchronous run and the two routines it runs on
// the internet library's thread.
#ifndef ZEM_UPLOAD_STATUS_CALLBACK_H
#define ZEM_UPLOAD_STATUS_CALLBACK_H

#include "ZemUpload.h"

namespace zem::upload {

// Registered on the session of an asynchronous task; the context of its
// handles is the task's record.
void CALLBACK UploadStatusCallback(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwInternetStatus,
                                   LPVOID lpvStatusInformation, DWORD dwStatusInformationLength);

// Whether the calling thread is inside UploadStatusCallback.
bool InsideStatusCallback();

}  // namespace zem::upload

#endif  // ZEM_UPLOAD_STATUS_CALLBACK_H
