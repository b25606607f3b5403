// Every HINTERNET is an object with a common header (kind, parent, children,
// status callback, context, options) and the state of its kind. A registry
// maps handle values to objects, so that a closed or foreign value is
// recognised and answered with an error instead of being dereferenced.
//
// One lock guards the registry and the fields of every handle object; it is
// held only for short stretches, never while a caller waits on the network.
#ifndef ZEM_WININET_HANDLES_H
#define ZEM_WININET_HANDLES_H

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "connection_pool.h"
#include "header_list.h"
#include "proxy_rules.h"
#include "wininet.h"

namespace zem::wininet {

class Transfer;

enum class HandleKind { kSession, kConnection, kRequest };

// Options a handle sets for itself. An unset one is taken from the parent,
// then from the values set on no handle, then from the defaults.
struct HandleOptions {
  std::optional<DWORD> connect_timeout, send_timeout, receive_timeout;
  std::optional<std::string> user_name, password, proxy_user_name, proxy_password, user_agent;
};

class InternetObject {
 public:
  virtual ~InternetObject() = default;
  const HandleKind kind;
  HINTERNET handle = nullptr;
  std::shared_ptr<InternetObject> parent;
  std::vector<HINTERNET> children;
  DWORD_PTR context = 0;
  INTERNET_STATUS_CALLBACK callback = nullptr;
  DWORD flags = 0;
  HandleOptions options;
  bool closed = false;

 protected:
  explicit InternetObject(HandleKind k) : kind(k) {}
};

class Session : public InternetObject {
 public:
  Session() : InternetObject(HandleKind::kSession) {}
  DWORD access_type = INTERNET_OPEN_TYPE_DIRECT;  // as given to InternetOpenA
  ProxyConfig proxy;                              // what that access type resolved to
  ProxyRules rules;
  std::shared_ptr<ConnectionPool> pool;
};

class Connection : public InternetObject {
 public:
  Connection() : InternetObject(HandleKind::kConnection) {}
  std::string host;
  INTERNET_PORT port = 0;  // 0: the default port of the request's scheme
  DWORD service = INTERNET_SERVICE_HTTP;
};

class Request : public InternetObject {
 public:
  Request() : InternetObject(HandleKind::kRequest) {}
  std::string verb;
  std::string object;
  bool http10 = false;
  HeaderList headers;
  std::shared_ptr<Transfer> transfer;  // the last sending, null before the first
};

std::mutex &HandleLock();

// Adds the object under its parent (if any) and gives it a handle value.
// Returns null when no value is left. Lock held.
HINTERNET RegisterHandle(const std::shared_ptr<InternetObject> &object);

// The open handle of that value and kind (InternetObject: any kind); null with
// *error set to ERROR_INVALID_HANDLE or ERROR_INTERNET_INCORRECT_HANDLE_TYPE.
// Lock held.
std::shared_ptr<InternetObject> FindHandle(HINTERNET handle, DWORD *error);
template <typename T>
std::shared_ptr<T> FindHandleOf(HINTERNET handle, HandleKind kind, DWORD *error) {
  std::shared_ptr<InternetObject> object = FindHandle(handle, error);
  if (object && object->kind != kind) {
    *error = ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    return nullptr;
  }
  return std::static_pointer_cast<T>(object);
}

// Removes the handle and everything under it from the registry; returns the
// objects, children before their parents, so that the caller can stop their
// work and let them go after the lock is released. Lock held.
std::vector<std::shared_ptr<InternetObject>> UnregisterTree(HINTERNET handle);

// Options set on no handle: the defaults of every handle.
HandleOptions &ProcessOptions();

// The value in force for a handle (lock held); `object` may be null.
DWORD EffectiveTimeout(const InternetObject *object, std::optional<DWORD> HandleOptions::*member);
std::string EffectiveText(const InternetObject *object, std::optional<std::string> HandleOptions::*member);

// Defaults that never wait forever.
constexpr DWORD kDefaultConnectTimeoutMs = 60000;
constexpr DWORD kDefaultSendTimeoutMs = 30000;
constexpr DWORD kDefaultReceiveTimeoutMs = 30000;

}  // namespace zem::wininet

#endif
