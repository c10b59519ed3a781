#pragma once

// KXDXRENDERER_API marks the classes and functions the renderer library
// exports. A Windows DLL exports them while it is being built (the build
// defines KXDXRENDERER_EXPORTS) and every program using it imports them;
// other platforms give them default visibility, which keeps them exported
// from a shared library compiled with -fvisibility=hidden.
#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(KXDXRENDERER_EXPORTS)
#define KXDXRENDERER_API __declspec(dllexport)
#else
#define KXDXRENDERER_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define KXDXRENDERER_API __attribute__((visibility("default")))
#else
#define KXDXRENDERER_API
#endif
