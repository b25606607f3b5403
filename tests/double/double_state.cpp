// The double's memory: scripts per function, the calls recorded, the fake
// handles, and the control a test reaches through ZemDoubleControl.
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "double_state.h"

namespace zemdouble {
namespace {

class ScriptImpl : public Script {
 public:
  Script &Return(uint64_t result) override { return Set(Answer::kReturn, [&](Answer &a) { a.result = result; }); }
  Script &Fail(DWORD error) override {
    return Set(Answer::kFail, [&](Answer &a) {
      a.sets_error = true;
      a.error = error;
    });
  }
  Script &Do(std::function<uint64_t(const Invocation &)> action) override {
    return Set(Answer::kDo, [&](Answer &a) { a.action = std::move(action); });
  }
  Script &Data(const std::string &data) override { return Set(Answer::kData, [&](Answer &a) { a.data = data; }); }
  Script &Response(DWORD error, const std::string &text) override {
    return Set(Answer::kResponse, [&](Answer &a) {
      a.result = error;
      a.data = text;
    });
  }
  Script &ProxyInfo(DWORD access_type, const std::string &proxy, const std::string &bypass) override {
    return Set(Answer::kProxy, [&](Answer &a) {
      a.access_type = access_type;
      a.proxy = proxy;
      a.bypass = bypass;
    });
  }
  Script &Then() override {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.emplace_back();
    return *this;
  }

  // The next answer; the last one repeats, except read data, which is
  // delivered once (in parts) and then reads as the end of the data.
  Answer Take(bool streamed, DWORD wanted) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (answers_.empty()) return Answer();
    if (next_ >= answers_.size()) {
      if (streamed && answers_.back().kind == Answer::kData) return Answer();
      return answers_.back();
    }
    Answer &current = answers_[next_];
    if (!streamed || current.kind != Answer::kData) {
      ++next_;
      return current;
    }
    Answer part = current;
    part.data = current.data.substr(offset_, wanted);
    offset_ += part.data.size();
    if (offset_ >= current.data.size()) {
      ++next_;
      offset_ = 0;
    }
    return part;
  }

  DWORD Pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    DWORD pending = 0;
    for (size_t i = next_; i < answers_.size(); ++i) {
      if (answers_[i].kind != Answer::kData) break;
      pending += static_cast<DWORD>(answers_[i].data.size() - (i == next_ ? offset_ : 0));
    }
    return pending;
  }

 private:
  template <typename Fill>
  Script &Set(Answer::Kind kind, Fill fill) {
    std::lock_guard<std::mutex> lock(mutex_);
    Answer &a = Current();
    a.kind = kind;
    fill(a);
    return *this;
  }
  Answer &Current() {
    if (answers_.empty()) answers_.emplace_back();
    return answers_.back();
  }

  std::mutex mutex_;
  std::vector<Answer> answers_;
  size_t next_ = 0;
  size_t offset_ = 0;
};

class State : public Control {
 public:
  Script &On(const std::string &function) override { return Find(function); }

  std::vector<Call> Calls() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  std::vector<Call> CallsTo(const std::string &function) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Call> out;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(out),
                 [&](const Call &c) { return c.function == function; });
    return out;
  }
  std::vector<std::string> Names() override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const Call &c : calls_) out.push_back(c.function);
    return out;
  }
  void Reset() override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
    scripts_.clear();
    next_handle_ = kFirstHandle;
  }

  ScriptImpl &Find(const std::string &function) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::unique_ptr<ScriptImpl> &script = scripts_[function];
    if (!script) script = std::make_unique<ScriptImpl>();
    return *script;
  }
  void Add(Call call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
  }
  HINTERNET Handle() {
    std::lock_guard<std::mutex> lock(mutex_);
    uintptr_t h = next_handle_;
    next_handle_ += kHandleStep;
    return reinterpret_cast<HINTERNET>(h);
  }

 private:
  std::mutex mutex_;
  std::vector<Call> calls_;
  std::map<std::string, std::unique_ptr<ScriptImpl>> scripts_;
  uintptr_t next_handle_ = kFirstHandle;
};

State &TheState() {
  static State state;
  return state;
}

}  // namespace

CallBuilder::CallBuilder(const char *function) {
  call_.function = function;
  invocation_.function = function;
}

CallBuilder &CallBuilder::Number(uint64_t value) {
  Arg arg;
  arg.number = value;
  call_.args.push_back(arg);
  invocation_.raw.push_back(static_cast<uintptr_t>(value));
  return *this;
}

CallBuilder &CallBuilder::Text(const char *chars, long long length) {
  Arg arg;
  arg.number = reinterpret_cast<uintptr_t>(chars);
  arg.is_null = chars == nullptr;
  if (chars != nullptr) {
    // A pointer that cannot be read is recorded by value only.
    const bool readable = length < 0 ? !IsBadStringPtrA(chars, static_cast<UINT_PTR>(-1))
                                     : !IsBadReadPtr(chars, static_cast<UINT_PTR>(length));
    if (readable) {
      arg.is_text = true;
      arg.text = length < 0 ? std::string(chars) : std::string(chars, static_cast<size_t>(length));
    }
  }
  call_.args.push_back(arg);
  invocation_.raw.push_back(reinterpret_cast<uintptr_t>(chars));
  return *this;
}

CallBuilder &CallBuilder::DwordIn(const DWORD *value) {
  Arg arg;
  arg.is_null = value == nullptr;
  arg.number = value != nullptr ? *value : 0;
  call_.args.push_back(arg);
  invocation_.raw.push_back(reinterpret_cast<uintptr_t>(value));
  return *this;
}

Answer TakeAnswer(const std::string &function, DWORD wanted) {
  return TheState().Find(function).Take(function == "InternetReadFile", wanted);
}

DWORD PendingReadBytes() { return TheState().Find("InternetReadFile").Pending(); }

uint64_t Finish(CallBuilder &builder, uint64_t result) {
  builder.Record().result = result;
  TheState().Add(builder.Record());
  return result;
}

HINTERNET NewHandle() { return TheState().Handle(); }

bool ApplyGeneric(const Answer &answer, const Invocation &invocation, uint64_t *result) {
  switch (answer.kind) {
    case Answer::kReturn:
      *result = answer.result;
      break;
    case Answer::kFail:
      *result = 0;
      break;
    case Answer::kDo:
      *result = answer.action(invocation);
      break;
    default:
      return false;
  }
  if (answer.sets_error) SetLastError(answer.error);
  return true;
}

}  // namespace zemdouble

extern "C" ZEM_EXPORT zemdouble::Control *ZemDoubleControl() { return &zemdouble::TheState(); }
