// Marks a definition as part of the library's exported interface. Everything else stays hidden
// (the library is built with hidden visibility and a version script that names only the exports).
#pragma once

#if defined(_WIN32)
#define FRAMEDEC_VISIBLE __declspec(dllexport)
#else
#define FRAMEDEC_VISIBLE __attribute__((visibility("default")))
#endif

#define FRAMEDEC_EXPORT extern "C" FRAMEDEC_VISIBLE
