// Whether a service log line written now would be seen by anybody: kept by
// the log, or built in the scratch text a status procedure may be handed.
// Lines nobody sees are not built at all, nor are their arguments worked out.
#ifndef ZEM_CLIENT_LOG_LINES_H
#define ZEM_CLIENT_LOG_LINES_H

#include "ZemHttp.h"
#include "config/caller_text.h"

namespace zem {

inline bool LogLineSeen(const CZemHttp &http) {
  const bool bKept = http.nLogMaxLines > http.nLogLines &&
                     (http.nLogLines < http.nLogCapacity || (http.nLogGrowBy > 0 && http.nLogCapacity < http.nLogMaxLines));
  return bKept || http.pfnNotifyStatus != nullptr;
}

// A caller's text as a log line prints it (LoggableStr), probed only for a
// line somebody will see.
inline const char *SeenLoggableStr(const CZemHttp &http, const char *psz) {
  return LogLineSeen(http) ? LoggableStr(psz) : "";
}

}  // namespace zem

#endif  // ZEM_CLIENT_LOG_LINES_H
