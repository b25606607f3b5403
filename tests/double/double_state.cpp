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
      a.setsError = true;
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
  Script &ProxyInfo(DWORD accessType, const std::string &proxy, const std::string &bypass) override {
    return Set(Answer::kProxy, [&](Answer &a) {
      a.accessType = accessType;
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
  Answer Take(bool bStreamed, DWORD cbWanted) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (answers_.empty()) return Answer();
    if (next_ >= answers_.size()) {
      if (bStreamed && answers_.back().kind == Answer::kData) return Answer();
      return answers_.back();
    }
    Answer &current = answers_[next_];
    if (!bStreamed || current.kind != Answer::kData) {
      ++next_;
      return current;
    }
    Answer part = current;
    part.data = current.data.substr(offset_, cbWanted);
    offset_ += part.data.size();
    if (offset_ >= current.data.size()) {
      ++next_;
      offset_ = 0;
    }
    return part;
  }

  DWORD Pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    DWORD cb = 0;
    for (size_t i = next_; i < answers_.size(); ++i) {
      if (answers_[i].kind != Answer::kData) break;
      cb += static_cast<DWORD>(answers_[i].data.size() - (i == next_ ? offset_ : 0));
    }
    return cb;
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
    nextHandle_ = kFirstHandle;
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
    uintptr_t h = nextHandle_;
    nextHandle_ += kHandleStep;
    return reinterpret_cast<HINTERNET>(h);
  }

 private:
  std::mutex mutex_;
  std::vector<Call> calls_;
  std::map<std::string, std::unique_ptr<ScriptImpl>> scripts_;
  uintptr_t nextHandle_ = kFirstHandle;
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

CallBuilder &CallBuilder::Text(const char *psz, long long cch) {
  Arg arg;
  arg.number = reinterpret_cast<uintptr_t>(psz);
  arg.isNull = psz == nullptr;
  if (psz != nullptr) {
    // A pointer that cannot be read is recorded by value only.
    const bool bReadable = cch < 0 ? !IsBadStringPtrA(psz, static_cast<UINT_PTR>(-1))
                                   : !IsBadReadPtr(psz, static_cast<UINT_PTR>(cch));
    if (bReadable) {
      arg.isText = true;
      arg.text = cch < 0 ? std::string(psz) : std::string(psz, static_cast<size_t>(cch));
    }
  }
  call_.args.push_back(arg);
  invocation_.raw.push_back(reinterpret_cast<uintptr_t>(psz));
  return *this;
}

CallBuilder &CallBuilder::DwordIn(const DWORD *pdw) {
  Arg arg;
  arg.isNull = pdw == nullptr;
  arg.number = pdw != nullptr ? *pdw : 0;
  call_.args.push_back(arg);
  invocation_.raw.push_back(reinterpret_cast<uintptr_t>(pdw));
  return *this;
}

Answer TakeAnswer(const std::string &function, DWORD cbWanted) {
  return TheState().Find(function).Take(function == "InternetReadFile", cbWanted);
}

DWORD PendingReadBytes() { return TheState().Find("InternetReadFile").Pending(); }

uint64_t Finish(CallBuilder &builder, uint64_t result) {
  builder.Record().result = result;
  TheState().Add(builder.Record());
  return result;
}

HINTERNET NewHandle() { return TheState().Handle(); }

bool ApplyGeneric(const Answer &answer, const Invocation &invocation, uint64_t *pResult) {
  switch (answer.kind) {
    case Answer::kReturn:
      *pResult = answer.result;
      break;
    case Answer::kFail:
      *pResult = 0;
      break;
    case Answer::kDo:
      *pResult = answer.action(invocation);
      break;
    default:
      return false;
  }
  if (answer.setsError) SetLastError(answer.error);
  return true;
}

}  // namespace zemdouble

extern "C" ZEM_EXPORT zemdouble::Control *ZemDoubleControl() { return &zemdouble::TheState(); }
