// The upload task's settings with fuzzed texts, numbers and selectors (valid
// ones and the refused ones above them): a task is created with fuzzed data,
// changed by a sequence of ScSetConnStrings and ScSetConnDWord calls, its
// status lines are read back with ScraGetMsgStr, and it is released. The
// fixed-size record fields must stay terminated, the status lines fit the
// caller's 81 bytes, and the release must free everything.
#include <cstdint>
#include <cstring>
#include <string>

#include "ZemUpload.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  constexpr int kDocument = 7;
  zemfuzz::Input in(data, size);
  const std::string record = in.Until('\0');
  void *pvData = const_cast<char *>(record.data());
  void *pvAnswer = nullptr;
  ZEM_FUZZ_CHECK(ScraAddNewDoc(&pvData, &pvAnswer, static_cast<DWORD>(record.size()), 0, kDocument, 0) == 1);

  for (int calls = 0; !in.empty() && calls < 32; ++calls) {
    const uint8_t op = in.Byte();
    const int selector = op & 0x1F;  // 0..31: past the last selector of both calls
    if (op & 0x80) {
      const DWORD value = in.Dword();
      const int stored = ScSetConnDWord(kDocument, selector, value);
      // A data length beyond the data given is refused: nothing past the
      // block may be sent.
      if (selector != SC_DW_DATA_LENGTH) ZEM_FUZZ_CHECK(stored == (selector <= SC_DW_ASYNC ? 1 : 0));
    } else {
      const std::string text = in.Until('\0');
      ScSetConnStrings(kDocument, selector, text.c_str());
    }
  }

  REQUEST_CONTEXT *ctx = ScQueryRqCtxPtr(kDocument);
  ZEM_FUZZ_CHECK(ctx != nullptr);
  zemfuzz::CheckTerminated(ctx->szUserAgent);
  zemfuzz::CheckTerminated(ctx->szVerb);
  zemfuzz::CheckTerminated(ctx->szHttpVersion);
  for (int line = 0;; ++line) {
    char buffer[SC_MSG_LINE_MAX + 1 + 8];
    std::memset(buffer, 0x5A, sizeof buffer);
    if (!ScraGetMsgStr(buffer, line, kDocument)) break;
    ZEM_FUZZ_CHECK(strnlen(buffer, SC_MSG_LINE_MAX + 1) <= SC_MSG_LINE_MAX);
    for (size_t g = SC_MSG_LINE_MAX + 1; g < sizeof buffer; ++g) ZEM_FUZZ_CHECK(buffer[g] == 0x5A);
  }
  ZEM_FUZZ_CHECK(ScraCloseTask(kDocument) == 1);
  ZEM_FUZZ_CHECK(ScQueryRqCtxPtr(kDocument) == nullptr);
  return 0;
}
