#pragma once

// KXSCENE_API marks the classes the scene library exports. A Windows DLL
// exports them while it is being built (the build defines KXSCENE_EXPORTS)
// and every program or library using it imports them; other platforms give
// them default visibility, which keeps them exported from a shared library
// compiled with -fvisibility=hidden.
#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(KXSCENE_EXPORTS)
#define KXSCENE_API __declspec(dllexport)
#else
#define KXSCENE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define KXSCENE_API __attribute__((visibility("default")))
#else
#define KXSCENE_API
#endif
