// TPJCONV_API marks what the shared library exports; everything else stays inside it. The static
// library and programs that link it need no mark.
#pragma once

#if defined(TPJCONV_SHARED_BUILD)
#if defined(_WIN32)
#define TPJCONV_API __declspec(dllexport)
#else
#define TPJCONV_API __attribute__((visibility("default")))
#endif
#elif defined(TPJCONV_SHARED) && defined(_WIN32)
#define TPJCONV_API __declspec(dllimport)
#else
#define TPJCONV_API
#endif
