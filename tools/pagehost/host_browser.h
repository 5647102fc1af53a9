// A small browser for the plug-in module: it loads libnpquilta.so the way a browser does
// (dlopen, NP_GetMIMEDescription, NP_Initialize with a browser function table of its own,
// NPP_New for a page, the scriptable object through NPPVpluginScriptableNPObject) and lets
// callers script the object as a page would. Used by quilta-pagehost, the tests and the
// benchmarks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "npapi/npapi.h"

namespace quilta::pagehost {

// A script-side value.
struct Value {
  enum class Kind { Void, Null, Bool, Int, Double, String, Object };
  Kind kind = Kind::Void;
  bool b = false;
  int32_t i = 0;
  double d = 0;
  std::string s;  // UTF-8 bytes as the plug-in returned them

  static Value Str(std::string v) { Value x; x.kind = Kind::String; x.s = std::move(v); return x; }
  static Value Int(int32_t v) { Value x; x.kind = Kind::Int; x.i = v; return x; }
  static Value Dbl(double v) { Value x; x.kind = Kind::Double; x.d = v; return x; }
  static Value Boolean(bool v) { Value x; x.kind = Kind::Bool; x.b = v; return x; }
  static Value NullValue() { Value x; x.kind = Kind::Null; return x; }

  // Numbers compare by value across Int and Double; everything else by kind and content.
  bool operator==(const Value& o) const;
  // Script notation: "text" (escaped), 12, 2.5, true, null, void, [object].
  std::string ToString() const;
};

// The loaded module. One per process (a browser loads a plug-in once); never unloaded.
class Module {
 public:
  // Loads and initialises the module. `tableSize` is the size the browser function table
  // claims (0: the full table). `deepBind` loads it with RTLD_DEEPBIND, as QtWebKit loads
  // plug-ins (the module then sees the C library's own copies of variables such as environ,
  // which a browser executable may have taken over). nullptr and *error set on failure.
  static Module* Load(const std::string& path, std::string* error, uint16_t tableSize = 0,
                      bool deepBind = false);

  const std::string& path() const { return path_; }
  const char* MimeDescription() const;
  NPError GetModuleValue(NPPVariable variable, void* value) const;
  const NPPluginFuncs& funcs() const { return funcs_; }
  void* Symbol(const char* name) const;
  NPError Shutdown() const;

 private:
  std::string path_;
  void* handle_ = nullptr;
  NPPluginFuncs funcs_{};
};

// One plug-in instance on one page (an <embed> element).
class Page {
 public:
  // `url`: window.location.href of the page; nullopt for a browser that gives no URL.
  Page(Module& module, std::optional<std::string> url);
  ~Page();  // destroys the instance if still alive
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  NPError New();        // NPP_New
  NPError Destroy();    // NPP_Destroy
  NPP npp() { return &npp_; }
  const std::optional<std::string>& url() const { return url_; }
  // Whether the instance asked to be windowless (NPN_SetValue(NPPVpluginWindowBool, false)).
  bool windowless() const { return windowless_; }

  // The scriptable object (NPP_GetValue(NPPVpluginScriptableNPObject)); the page keeps one
  // reference. nullptr when the plug-in gives none.
  NPObject* Object();
  NPError GetValue(NPPVariable variable, void* value);

  bool HasMethod(const std::string& name);
  bool HasProperty(const std::string& name);
  // False when the plug-in refuses (unknown member, write-only, read-only...).
  bool Get(const std::string& name, Value* out);
  bool Set(const std::string& name, const Value& value);
  bool Invoke(const std::string& name, const std::vector<Value>& args, Value* out);
  bool InvokeDefault(const std::vector<Value>& args, Value* out);

  // Raw result of the last Get/Invoke string: its byte count as the plug-in reported it.
  uint32_t lastUtf8Length() const { return lastUtf8Length_; }

  // For the browser functions.
  bool windowless_ = false;
  NPObject* window_ = nullptr;

 private:
  Module& module_;
  std::optional<std::string> url_;
  NPP_t npp_{};
  bool alive_ = false;
  NPObject* object_ = nullptr;
  uint32_t lastUtf8Length_ = 0;
};

// Browser-side helpers, exposed for tests.
NPIdentifier Identifier(const std::string& name);
// Variants the host made (strings point into host memory) and ones the plug-in returned.
NPVariant ToVariant(const Value& v, std::string* storage);
Value FromVariant(const NPVariant& v);
// NPN_ReleaseObject of the host browser.
void Release(NPObject* obj);
// Live objects the host knows of (created through NPN_CreateObject and not yet freed).
size_t LiveObjects();

}  // namespace quilta::pagehost
