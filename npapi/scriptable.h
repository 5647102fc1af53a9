// The scriptable object the page sees. Each object embeds the NPObject header, records its
// instance and holds its own script layer, made for the page of the instance that created it
// (its window.location when the instance was made): what the object may reach is decided by
// that page alone, never by another instance's. The static NPClass operations map the header
// back to the object and call the virtual operation of the same name.
#pragma once

#include <optional>
#include <string>

#include "core/script.h"
#include "npapi/npapi.h"

namespace quilta::npapi {

class ScriptablePluginObjectBase : public NPObject {
 public:
  ScriptablePluginObjectBase(NPP npp, const std::optional<std::string>& pageUrl);
  virtual ~ScriptablePluginObjectBase() = default;
  ScriptablePluginObjectBase(const ScriptablePluginObjectBase&) = delete;
  ScriptablePluginObjectBase& operator=(const ScriptablePluginObjectBase&) = delete;

  virtual void Invalidate() {}
  virtual bool HasMethod(NPIdentifier) { return false; }
  virtual bool Invoke(NPIdentifier, const NPVariant*, uint32_t, NPVariant*) { return false; }
  virtual bool InvokeDefault(const NPVariant*, uint32_t, NPVariant*) { return false; }
  virtual bool HasProperty(NPIdentifier) { return false; }
  virtual bool GetProperty(NPIdentifier, NPVariant*) { return false; }
  // The property writer, shared by every object class.
  virtual bool SetProperty(NPIdentifier name, const NPVariant* value);
  virtual bool RemoveProperty(NPIdentifier) { return false; }
  virtual bool Enumerate(NPIdentifier**, uint32_t*) { return false; }
  virtual bool Construct(const NPVariant*, uint32_t, NPVariant*) { return false; }

  NPP npp() const { return npp_; }

 protected:
  ScriptLayer layer_;

  // The static operations, in NPClass slot order.
  static void _Deallocate(NPObject* obj);
  static void _Invalidate(NPObject* obj);
  static bool _HasMethod(NPObject* obj, NPIdentifier name);
  static bool _Invoke(NPObject* obj, NPIdentifier name, const NPVariant* args, uint32_t argCount,
                      NPVariant* result);
  static bool _InvokeDefault(NPObject* obj, const NPVariant* args, uint32_t argCount,
                             NPVariant* result);
  static bool _HasProperty(NPObject* obj, NPIdentifier name);
  static bool _GetProperty(NPObject* obj, NPIdentifier name, NPVariant* result);
  static bool _SetProperty(NPObject* obj, NPIdentifier name, const NPVariant* value);
  static bool _RemoveProperty(NPObject* obj, NPIdentifier name);
  static bool _Enumerate(NPObject* obj, NPIdentifier** value, uint32_t* count);
  static bool _Construct(NPObject* obj, const NPVariant* args, uint32_t argCount,
                         NPVariant* result);

 private:
  NPP npp_;  // recorded only; never dereferenced, so objects outliving their instance are safe
};

class ScriptablePluginObject : public ScriptablePluginObjectBase {
 public:
  using ScriptablePluginObjectBase::ScriptablePluginObjectBase;

  bool HasMethod(NPIdentifier name) override;
  bool Invoke(NPIdentifier name, const NPVariant* args, uint32_t argCount,
              NPVariant* result) override;
  bool InvokeDefault(const NPVariant* args, uint32_t argCount, NPVariant* result) override;
  bool HasProperty(NPIdentifier name) override;
  bool GetProperty(NPIdentifier name, NPVariant* result) override;

  static NPClass* Class();

 private:
  static NPObject* _Allocate(NPP npp, NPClass* aClass);
};

}  // namespace quilta::npapi
