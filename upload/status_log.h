// The status log of a task: a growing array of text lines in the record that
// every step of a task adds to and that callers read back line by line or in
// the "ScLogs.TXT" report.
#ifndef ZEM_UPLOAD_STATUS_LOG_H
#define ZEM_UPLOAD_STATUS_LOG_H

#include <cstddef>
#include <functional>

#include "ZemUpload.h"

namespace zem::upload {

// Adds a copy of pszText. 0 when refused: no record, a null or empty text, or
// a task past "Closing" (nStep above 11); also when memory ran out.
int AddStatusLine(REQUEST_CONTEXT *ctx, const char *pszText);

// Formats a line in a buffer of cbBuffer bytes (80, 256 or 4096; longer lines
// are cut) and adds it.
int AddStatusLinef(REQUEST_CONTEXT *ctx, size_t cbBuffer, const char *pszFormat, ...)
    __attribute__((format(printf, 3, 4)));

// Frees every line and the array; nStatusLines becomes 0.
void ClearStatusLog(REQUEST_CONTEXT *ctx);

// Copies line nLine (from 0): at most cchMax characters and a NUL. 0 when
// there is no such line.
int CopyStatusLine(REQUEST_CONTEXT *ctx, int nLine, char *pszBuffer, int cchMax);

// Calls visit for every line held (a missing entry is passed as null), under
// the store's lock: visit must not add lines.
void VisitStatusLines(REQUEST_CONTEXT *ctx, const std::function<void(const char *)> &visit);

}  // namespace zem::upload

#endif  // ZEM_UPLOAD_STATUS_LOG_H
