// The ActiveX control converts COM values to and from script values, as the NPAPI binding
// converts NPVariants; every rule (argument rules, busy refusal, origin check) is the script
// layer's (core/script.h).
//   page -> core: BSTR text through FromPageUtf16 (lone surrogates become U+FFFD); VT_I4 and
//     the other integer kinds that fit 32 bits as integers; VT_R8/VT_R4 as numbers (the
//     script layer writes them as JavaScript does); a by-reference value is read through its
//     reference; VT_EMPTY and a missing optional argument (VT_ERROR DISP_E_PARAMNOTFOUND)
//     count as missing; anything else (booleans, null, objects) as "other", i.e. missing.
//   core -> page: integers as VT_I4, texts as VT_BSTR (escape units of raw card bytes become
//     U+FFFD, so the page never receives a lone surrogate), nothing (what a page that is not
//     the bank's reads) as VT_EMPTY.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "core/script.h"

namespace quilta::activex {

ScriptValue FromVariant(const VARIANT& v);
// False when the text cannot be allocated (`out` is then VT_EMPTY).
bool ToVariant(const ScriptValue& v, VARIANT* out);

// BSTR <-> text. A null BSTR is the empty text. ToBstr returns nullptr when out of memory.
Text FromBstr(BSTR b);
BSTR ToBstr(const Text& text);

}  // namespace quilta::activex
