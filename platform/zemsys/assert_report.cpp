// The guard failure report: one line on standard error per failed guard, a
// process-wide count, and the caller-chosen answer that decides whether the
// damaged data is released.
#include <atomic>
#include <cstdio>

#include "ZemSys.h"
#include "pointer_check.h"

namespace {

std::atomic<int> g_assert_result{0};
std::atomic<int> g_assert_count{0};

const char *Printable(const char *psz) { return zem::sys::IsAddress(psz) ? psz : "(unknown)"; }

}  // namespace

int WINAPI SysAssertFail(const char *pszExpression, const char *pszSource, int nLine) {
  g_assert_count.fetch_add(1);
  // One fprintf call, so that lines from several threads do not interleave.
  std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", Printable(pszExpression), Printable(pszSource),
               nLine);
  std::fflush(stderr);
  return g_assert_result.load();
}

int WINAPI SysSetAssertResult(int nResult) { return g_assert_result.exchange(nResult); }

int WINAPI SysGetAssertCount(void) { return g_assert_count.load(); }
