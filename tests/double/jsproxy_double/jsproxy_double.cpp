// The auto-proxy library double: scripted answers, recorded calls.
#include "jsproxy_double.h"

#include <cstring>
#include <mutex>

#include "wininet.h"

namespace zemjsproxy {
namespace {

class State final : public Control {
 public:
  void Script(BOOL result, DWORD error, bool has_answer, const std::string &answer) override {
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = result;
    error_ = error;
    has_answer_ = has_answer;
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
    has_answer_ = false;
    answer_.clear();
  }

  BOOL Answer(LPCSTR url, DWORD url_length, LPSTR host, DWORD host_length, LPSTR *proxy, LPDWORD proxy_length) {
    std::lock_guard<std::mutex> lock(mutex_);
    Call call;
    call.bNullUrl = url == nullptr;
    if (url != nullptr) call.url.assign(url, url_length);
    call.cchUrl = url_length;
    call.bNullHost = host == nullptr;
    if (host != nullptr) call.host.assign(host, host_length);
    call.cchHost = host_length;
    if (has_answer_ && proxy != nullptr && proxy_length != nullptr) {
      auto *block = static_cast<LPSTR>(LocalAlloc(LPTR, answer_.size() + 1));
      if (block != nullptr) {
        std::memcpy(block, answer_.c_str(), answer_.size() + 1);
        *proxy = block;
        *proxy_length = static_cast<DWORD>(answer_.size() + 1);
        call.pszAnswer = block;
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
  bool has_answer_ = false;
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
