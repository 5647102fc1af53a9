// Marks the few functions the module exports; everything else in it stays hidden.
#pragma once

#if defined(_WIN32)
#define QUILTA_NP_EXPORT __declspec(dllexport)
#else
#define QUILTA_NP_EXPORT __attribute__((visibility("default")))
#endif
