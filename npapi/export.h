// Marks the few functions the module exports; everything else in it stays hidden.
#pragma once

#if defined(_WIN32)
#define QUILTA_NP_EXPORT __declspec(dllexport)
// Windows browsers call the NP_ entry points with the system's calling convention (__stdcall
// on 32-bit x86, where the module exports them undecorated: --kill-at).
#define QUILTA_NP_CALL __stdcall
#else
#define QUILTA_NP_EXPORT __attribute__((visibility("default")))
#define QUILTA_NP_CALL
#endif
