// setenv and unsetenv for the Windows test programs, over the C runtime's
// environment (which getenv reads).
#ifndef ZEM_TEST_ENVIRONMENT_WINDOWS_H
#define ZEM_TEST_ENVIRONMENT_WINDOWS_H

#ifdef __cplusplus
#include <cstdlib>

inline int setenv(const char *name, const char *value, int overwrite) {
  if (!overwrite && std::getenv(name) != nullptr) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char *name) { return _putenv_s(name, "") == 0 ? 0 : -1; }
#endif

#endif
