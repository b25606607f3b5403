// The auto-proxy library double: scripted answers, recorded calls.
#include "jsproxy_double.h"

#include <cstring>
#include <mutex>

#include "wininet.h"

namespace zemjsproxy {
namespace {

class State final : public Control {
 public:
  void Script(BOOL bResult, DWORD dwError, bool bAnswer, const std::string &answer) override {
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = bResult;
    error_ = dwError;
    hasAnswer_ = bAnswer;
    answer_ = answer;
  }
  std::vector<Call> Calls() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  void Reset() override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
    result_ = TRUE;
    error_ = 0;
    hasAnswer_ = false;
    answer_.clear();
  }

  BOOL Answer(LPCSTR pszUrl, DWORD cchUrl, LPSTR pszHost, DWORD cchHost, LPSTR *ppszProxy, LPDWORD pcbProxy) {
    std::lock_guard<std::mutex> lock(mutex_);
    Call call;
    call.bNullUrl = pszUrl == nullptr;
    if (pszUrl != nullptr) call.url.assign(pszUrl, cchUrl);
    call.cchUrl = cchUrl;
    call.bNullHost = pszHost == nullptr;
    if (pszHost != nullptr) call.host.assign(pszHost, cchHost);
    call.cchHost = cchHost;
    if (hasAnswer_ && ppszProxy != nullptr && pcbProxy != nullptr) {
      auto *pszBlock = static_cast<LPSTR>(LocalAlloc(LPTR, answer_.size() + 1));
      if (pszBlock != nullptr) {
        std::memcpy(pszBlock, answer_.c_str(), answer_.size() + 1);
        *ppszProxy = pszBlock;
        *pcbProxy = static_cast<DWORD>(answer_.size() + 1);
        call.pszAnswer = pszBlock;
      }
    }
    calls_.push_back(call);
    SetLastError(error_);
    return result_;
  }

 private:
  std::mutex mutex_;
  std::vector<Call> calls_;
  BOOL result_ = TRUE;
  DWORD error_ = 0;
  bool hasAnswer_ = false;
  std::string answer_;
};

// Released when the module is unloaded, after its last user let go of it.
State &TheState() {
  static State state;
  return state;
}

}  // namespace
}  // namespace zemjsproxy

extern "C" ZEM_EXPORT zemjsproxy::Control *ZemJsProxyControl() { return &zemjsproxy::TheState(); }

extern "C" ZEM_EXPORT BOOL CALLBACK InternetGetProxyInfo(LPCSTR lpszUrl, DWORD dwUrlLength, LPSTR lpszUrlHostName,
                                                         DWORD dwUrlHostNameLength, LPSTR *lplpszProxyHostName,
                                                         LPDWORD lpdwProxyHostNameLength) {
  return zemjsproxy::TheState().Answer(lpszUrl, dwUrlLength, lpszUrlHostName, dwUrlHostNameLength,
                                       lplpszProxyHostName, lpdwProxyHostNameLength);
}
