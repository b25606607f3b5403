// Where the auto-proxy library's script comes from: the one given to
// InternetInitializeAutoProxyDll, else the one at the environment's PAC URL
// (ZEMHTTP_PAC_URL: http, https or file; "wpad" names the conventional
// http://wpad/wpad.dat), fetched once per process directly through the
// internet library.
#ifndef ZEM_JSPROXY_SCRIPT_SOURCE_H
#define ZEM_JSPROXY_SCRIPT_SOURCE_H

#include <string>

#include "windows.h"

namespace zem::jsproxy {

// The script to evaluate, or why there is none. A failed fetch is remembered
// too: every later lookup fails at once instead of waiting on the server.
DWORD CurrentScript(std::string *script);

// Reads a script from a file: 0, or the error to report.
DWORD ReadScriptFile(const std::string &path, std::string *script);

// Replaces the script (or records why it could not be had). An empty script
// with no error goes back to the configured one, fetched anew on next use.
void SetScript(const std::string &script, DWORD error);

}  // namespace zem::jsproxy

#endif  // ZEM_JSPROXY_SCRIPT_SOURCE_H
