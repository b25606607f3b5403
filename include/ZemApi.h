/// @file ZemApi.h
/// How the interfaces of the libraries are declared: C linkage for the plain
/// functions, and which module exports a name and which imports it.
///
/// On Linux every exported name has default visibility (the platform's
/// windef.h gives ZEM_EXTERN_C and ZEM_EXPORT). On Windows a module exports
/// what it defines and its callers import it: ZEMSYS.DLL marks its functions
/// itself, ZEMHTTP.DLL marks its class and data, and its plain upload
/// functions are exported by its module-definition file under their plain
/// names (a dllexport mark would add the decorated 32-bit name as well).
#ifndef ZEM_ZEMAPI_H
#define ZEM_ZEMAPI_H

#include "windows.h"

#ifdef _WIN32
#ifdef __cplusplus
#define ZEM_EXTERN_C extern "C"
#else
#define ZEM_EXTERN_C extern
#endif
#ifdef ZEMSYS_BUILDING
#define ZEMSYSAPI ZEM_EXTERN_C __declspec(dllexport)
#else
#define ZEMSYSAPI ZEM_EXTERN_C __declspec(dllimport)
#endif
#ifdef ZEMHTTP_BUILDING
#define ZEMHTTP_API __declspec(dllexport)
#define ZEMUPLOADAPI ZEM_EXTERN_C
#else
#define ZEMHTTP_API __declspec(dllimport)
#define ZEMUPLOADAPI ZEM_EXTERN_C __declspec(dllimport)
#endif
#else
/// Declares a function of the support library (ZEMSYS): C linkage, exported.
#define ZEMSYSAPI ZEM_EXTERN_C ZEM_EXPORT
/// Declares the client class and the library's data: exported.
#define ZEMHTTP_API __attribute__((visibility("default")))
/// Declares a plain function of the upload task interface: C linkage, exported.
#define ZEMUPLOADAPI ZEM_EXTERN_C ZEM_EXPORT
#endif

#endif  // ZEM_ZEMAPI_H
