// Our own declarations of the browser plug-in interface (NPAPI and its scripting runtime),
// written from the published definitions: the types, constants and function tables that the
// plug-in module and the page-script host exchange. Only what this system uses is declared,
// but every table keeps its full published layout so that slot offsets match real browsers.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// ---- Basic types ----
using NPBool = unsigned char;
using NPError = int16_t;
using NPReason = int16_t;
using NPMIMEType = char*;
using NPUTF8 = char;
using NPIdentifier = void*;

struct NPP_t {
  void* pdata;  // the plug-in's instance data
  void* ndata;  // the browser's instance data
};
using NPP = NPP_t*;

struct NPSavedData {
  int32_t len;
  void* buf;
};

struct NPRect {
  uint16_t top, left, bottom, right;
};

struct NPWindow;  // never looked into: the plug-in is windowless
struct NPStream;  // streams are accepted and dropped
struct NPPrint;

// ---- Error and version codes ----
inline constexpr NPError NPERR_NO_ERROR = 0;
inline constexpr NPError NPERR_GENERIC_ERROR = 1;
inline constexpr NPError NPERR_INVALID_INSTANCE_ERROR = 2;
inline constexpr NPError NPERR_INVALID_FUNCTABLE_ERROR = 3;
inline constexpr NPError NPERR_MODULE_LOAD_FAILED_ERROR = 4;
inline constexpr NPError NPERR_OUT_OF_MEMORY_ERROR = 5;
inline constexpr NPError NPERR_INVALID_PLUGIN_ERROR = 6;
inline constexpr NPError NPERR_INVALID_PLUGIN_DIR_ERROR = 7;
inline constexpr NPError NPERR_INCOMPATIBLE_VERSION_ERROR = 8;
inline constexpr NPError NPERR_INVALID_PARAM = 9;

inline constexpr int NP_VERSION_MAJOR = 0;
inline constexpr int NP_VERSION_MINOR = 27;
inline constexpr int NP_EMBED = 1;
inline constexpr int NP_FULL = 2;

// GCC-built Unix modules mark a few legacy variables with this bit.
#if defined(__GNUC__) && !defined(_WIN32)
inline constexpr int NP_ABI_MASK = 0x10000000;
#else
inline constexpr int NP_ABI_MASK = 0;
#endif

// ---- Variables the browser asks of the plug-in (NPP_GetValue / NP_GetValue) ----
enum NPPVariable : int {
  NPPVpluginNameString = 1,
  NPPVpluginDescriptionString = 2,
  NPPVpluginWindowBool = 3,
  NPPVpluginTransparentBool = 4,
  NPPVjavaClass = 5,
  NPPVpluginWindowSize = 6,
  NPPVpluginTimerInterval = 7,
  NPPVpluginScriptableInstance = 10 | NP_ABI_MASK,
  NPPVpluginScriptableIID = 11,
  NPPVjavascriptPushCallerBool = 12,
  NPPVpluginKeepLibraryInMemory = 13,
  NPPVpluginNeedsXEmbed = 14,
  NPPVpluginScriptableNPObject = 15,
  NPPVformValue = 16,
  NPPVpluginUrlRequestsDisplayedBool = 17,
  NPPVpluginWantsAllNetworkStreams = 18,
  NPPVpluginNativeAccessibleAtkPlugId = 19,
  NPPVpluginCancelSrcStream = 20,
};

// ---- Variables the plug-in asks of the browser (NPN_GetValue) ----
enum NPNVariable : int {
  NPNVxDisplay = 1,
  NPNVxtAppContext = 2,
  NPNVnetscapeWindow = 3,
  NPNVjavascriptEnabledBool = 4,
  NPNVasdEnabledBool = 5,
  NPNVisOfflineBool = 6,
  NPNVserviceManager = 10 | NP_ABI_MASK,
  NPNVDOMElement = 11 | NP_ABI_MASK,
  NPNVDOMWindow = 12 | NP_ABI_MASK,
  NPNVToolkit = 13 | NP_ABI_MASK,
  NPNVSupportsXEmbedBool = 14,
  NPNVWindowNPObject = 15,
  NPNVPluginElementNPObject = 16,
  NPNVSupportsWindowless = 17,
  NPNVprivateModeBool = 18,
};

// ---- Scripting runtime ----
struct NPObject;
struct NPClass;

struct NPString {
  const NPUTF8* UTF8Characters;  // not zero-terminated
  uint32_t UTF8Length;           // bytes
};

enum NPVariantType : int {
  NPVariantType_Void = 0,
  NPVariantType_Null = 1,
  NPVariantType_Bool = 2,
  NPVariantType_Int32 = 3,
  NPVariantType_Double = 4,
  NPVariantType_String = 5,
  NPVariantType_Object = 6,
};

struct NPVariant {
  NPVariantType type;
  union {
    bool boolValue;
    int32_t intValue;
    double doubleValue;
    NPString stringValue;
    NPObject* objectValue;
  } value;
};

using NPAllocateFunctionPtr = NPObject* (*)(NPP npp, NPClass* aClass);
using NPDeallocateFunctionPtr = void (*)(NPObject* npobj);
using NPInvalidateFunctionPtr = void (*)(NPObject* npobj);
using NPHasMethodFunctionPtr = bool (*)(NPObject* npobj, NPIdentifier name);
using NPInvokeFunctionPtr = bool (*)(NPObject* npobj, NPIdentifier name, const NPVariant* args,
                                     uint32_t argCount, NPVariant* result);
using NPInvokeDefaultFunctionPtr = bool (*)(NPObject* npobj, const NPVariant* args,
                                            uint32_t argCount, NPVariant* result);
using NPHasPropertyFunctionPtr = bool (*)(NPObject* npobj, NPIdentifier name);
using NPGetPropertyFunctionPtr = bool (*)(NPObject* npobj, NPIdentifier name, NPVariant* result);
using NPSetPropertyFunctionPtr = bool (*)(NPObject* npobj, NPIdentifier name,
                                          const NPVariant* value);
using NPRemovePropertyFunctionPtr = bool (*)(NPObject* npobj, NPIdentifier name);
using NPEnumerationFunctionPtr = bool (*)(NPObject* npobj, NPIdentifier** value, uint32_t* count);
using NPConstructFunctionPtr = bool (*)(NPObject* npobj, const NPVariant* args, uint32_t argCount,
                                        NPVariant* result);

inline constexpr uint32_t NP_CLASS_STRUCT_VERSION = 3;

struct NPClass {
  uint32_t structVersion;
  NPAllocateFunctionPtr allocate;
  NPDeallocateFunctionPtr deallocate;
  NPInvalidateFunctionPtr invalidate;
  NPHasMethodFunctionPtr hasMethod;
  NPInvokeFunctionPtr invoke;
  NPInvokeDefaultFunctionPtr invokeDefault;
  NPHasPropertyFunctionPtr hasProperty;
  NPGetPropertyFunctionPtr getProperty;
  NPSetPropertyFunctionPtr setProperty;
  NPRemovePropertyFunctionPtr removeProperty;
  NPEnumerationFunctionPtr enumerate;
  NPConstructFunctionPtr construct;
};

struct NPObject {
  NPClass* _class;
  uint32_t referenceCount;
};

// ---- Plug-in functions (the browser calls them through NPPluginFuncs) ----
using NPP_NewProcPtr = NPError (*)(NPMIMEType pluginType, NPP instance, uint16_t mode, int16_t argc,
                                   char* argn[], char* argv[], NPSavedData* saved);
using NPP_DestroyProcPtr = NPError (*)(NPP instance, NPSavedData** save);
using NPP_SetWindowProcPtr = NPError (*)(NPP instance, NPWindow* window);
using NPP_NewStreamProcPtr = NPError (*)(NPP instance, NPMIMEType type, NPStream* stream,
                                         NPBool seekable, uint16_t* stype);
using NPP_DestroyStreamProcPtr = NPError (*)(NPP instance, NPStream* stream, NPReason reason);
using NPP_StreamAsFileProcPtr = void (*)(NPP instance, NPStream* stream, const char* fname);
using NPP_WriteReadyProcPtr = int32_t (*)(NPP instance, NPStream* stream);
using NPP_WriteProcPtr = int32_t (*)(NPP instance, NPStream* stream, int32_t offset, int32_t len,
                                     void* buffer);
using NPP_PrintProcPtr = void (*)(NPP instance, NPPrint* platformPrint);
using NPP_HandleEventProcPtr = int16_t (*)(NPP instance, void* event);
using NPP_URLNotifyProcPtr = void (*)(NPP instance, const char* url, NPReason reason,
                                      void* notifyData);
using NPP_GetValueProcPtr = NPError (*)(NPP instance, NPPVariable variable, void* value);
using NPP_SetValueProcPtr = NPError (*)(NPP instance, NPNVariable variable, void* value);
using NPP_GotFocusProcPtr = NPBool (*)(NPP instance, int direction);
using NPP_LostFocusProcPtr = void (*)(NPP instance);
using NPP_URLRedirectNotifyProcPtr = void (*)(NPP instance, const char* url, int32_t status,
                                              void* notifyData);
using NPP_ClearSiteDataProcPtr = NPError (*)(const char* site, uint64_t flags, uint64_t maxAge);
using NPP_GetSitesWithDataProcPtr = char** (*)();

struct NPPluginFuncs {
  uint16_t size;
  uint16_t version;
  NPP_NewProcPtr newp;
  NPP_DestroyProcPtr destroy;
  NPP_SetWindowProcPtr setwindow;
  NPP_NewStreamProcPtr newstream;
  NPP_DestroyStreamProcPtr destroystream;
  NPP_StreamAsFileProcPtr asfile;
  NPP_WriteReadyProcPtr writeready;
  NPP_WriteProcPtr write;
  NPP_PrintProcPtr print;
  NPP_HandleEventProcPtr event;
  NPP_URLNotifyProcPtr urlnotify;
  void* javaClass;
  NPP_GetValueProcPtr getvalue;
  NPP_SetValueProcPtr setvalue;
  NPP_GotFocusProcPtr gotfocus;
  NPP_LostFocusProcPtr lostfocus;
  NPP_URLRedirectNotifyProcPtr urlredirectnotify;
  NPP_ClearSiteDataProcPtr clearsitedata;
  NPP_GetSitesWithDataProcPtr getsiteswithdata;
};

// ---- Browser functions (the plug-in calls them through NPNetscapeFuncs) ----
// Slots this system never calls keep their place as untyped pointers.
using NPN_Unused = void*;
using NPN_MemAllocProcPtr = void* (*)(uint32_t size);
using NPN_MemFreeProcPtr = void (*)(void* ptr);
using NPN_GetValueProcPtr = NPError (*)(NPP instance, NPNVariable variable, void* value);
using NPN_SetValueProcPtr = NPError (*)(NPP instance, NPPVariable variable, void* value);
using NPN_GetStringIdentifierProcPtr = NPIdentifier (*)(const NPUTF8* name);
using NPN_GetStringIdentifiersProcPtr = void (*)(const NPUTF8** names, int32_t nameCount,
                                                 NPIdentifier* identifiers);
using NPN_GetIntIdentifierProcPtr = NPIdentifier (*)(int32_t intid);
using NPN_IdentifierIsStringProcPtr = bool (*)(NPIdentifier identifier);
using NPN_UTF8FromIdentifierProcPtr = NPUTF8* (*)(NPIdentifier identifier);
using NPN_IntFromIdentifierProcPtr = int32_t (*)(NPIdentifier identifier);
using NPN_CreateObjectProcPtr = NPObject* (*)(NPP npp, NPClass* aClass);
using NPN_RetainObjectProcPtr = NPObject* (*)(NPObject* obj);
using NPN_ReleaseObjectProcPtr = void (*)(NPObject* obj);
using NPN_InvokeProcPtr = bool (*)(NPP npp, NPObject* obj, NPIdentifier methodName,
                                   const NPVariant* args, uint32_t argCount, NPVariant* result);
using NPN_InvokeDefaultProcPtr = bool (*)(NPP npp, NPObject* obj, const NPVariant* args,
                                          uint32_t argCount, NPVariant* result);
using NPN_EvaluateProcPtr = bool (*)(NPP npp, NPObject* obj, NPString* script, NPVariant* result);
using NPN_GetPropertyProcPtr = bool (*)(NPP npp, NPObject* obj, NPIdentifier propertyName,
                                        NPVariant* result);
using NPN_SetPropertyProcPtr = bool (*)(NPP npp, NPObject* obj, NPIdentifier propertyName,
                                        const NPVariant* value);
using NPN_RemovePropertyProcPtr = bool (*)(NPP npp, NPObject* obj, NPIdentifier propertyName);
using NPN_HasPropertyProcPtr = bool (*)(NPP npp, NPObject* obj, NPIdentifier propertyName);
using NPN_HasMethodProcPtr = bool (*)(NPP npp, NPObject* obj, NPIdentifier propertyName);
using NPN_ReleaseVariantValueProcPtr = void (*)(NPVariant* variant);
using NPN_SetExceptionProcPtr = void (*)(NPObject* obj, const NPUTF8* message);

struct NPNetscapeFuncs {
  uint16_t size;
  uint16_t version;
  NPN_Unused geturl;
  NPN_Unused posturl;
  NPN_Unused requestread;
  NPN_Unused newstream;
  NPN_Unused write;
  NPN_Unused destroystream;
  NPN_Unused status;
  NPN_Unused uagent;
  NPN_MemAllocProcPtr memalloc;
  NPN_MemFreeProcPtr memfree;
  NPN_Unused memflush;
  NPN_Unused reloadplugins;
  NPN_Unused getJavaEnv;
  NPN_Unused getJavaPeer;
  NPN_Unused geturlnotify;
  NPN_Unused posturlnotify;
  NPN_GetValueProcPtr getvalue;
  NPN_SetValueProcPtr setvalue;
  NPN_Unused invalidaterect;
  NPN_Unused invalidateregion;
  NPN_Unused forceredraw;
  NPN_GetStringIdentifierProcPtr getstringidentifier;
  NPN_GetStringIdentifiersProcPtr getstringidentifiers;
  NPN_GetIntIdentifierProcPtr getintidentifier;
  NPN_IdentifierIsStringProcPtr identifierisstring;
  NPN_UTF8FromIdentifierProcPtr utf8fromidentifier;
  NPN_IntFromIdentifierProcPtr intfromidentifier;
  NPN_CreateObjectProcPtr createobject;
  NPN_RetainObjectProcPtr retainobject;
  NPN_ReleaseObjectProcPtr releaseobject;
  NPN_InvokeProcPtr invoke;
  NPN_InvokeDefaultProcPtr invokeDefault;
  NPN_EvaluateProcPtr evaluate;
  NPN_GetPropertyProcPtr getproperty;
  NPN_SetPropertyProcPtr setproperty;
  NPN_RemovePropertyProcPtr removeproperty;
  NPN_HasPropertyProcPtr hasproperty;
  NPN_HasMethodProcPtr hasmethod;
  NPN_ReleaseVariantValueProcPtr releasevariantvalue;
  NPN_SetExceptionProcPtr setexception;
  NPN_Unused pushpopupsenabledstate;
  NPN_Unused poppopupsenabledstate;
  NPN_Unused enumerate;
  NPN_Unused pluginthreadasynccall;
  NPN_Unused construct;
  NPN_Unused getvalueforurl;
  NPN_Unused setvalueforurl;
  NPN_Unused getauthenticationinfo;
  NPN_Unused scheduletimer;
  NPN_Unused unscheduletimer;
  NPN_Unused popupcontextmenu;
  NPN_Unused convertpoint;
  NPN_Unused handleevent;
  NPN_Unused unfocusinstance;
  NPN_Unused urlredirectresponse;
};

// ---- Module entry points ----
#if defined(_WIN32)
using NP_GetEntryPointsFunc = NPError(__stdcall*)(NPPluginFuncs* pFuncs);
using NP_InitializeFunc = NPError(__stdcall*)(NPNetscapeFuncs* bFuncs);
#else
using NP_GetMIMEDescriptionFunc = const char* (*)();
using NP_GetValueFunc = NPError (*)(void* future, NPPVariable variable, void* value);
using NP_InitializeFunc = NPError (*)(NPNetscapeFuncs* bFuncs, NPPluginFuncs* pFuncs);
#endif
#if defined(_WIN32)
using NP_ShutdownFunc = NPError(__stdcall*)();
#else
using NP_ShutdownFunc = NPError (*)();
#endif

}  // extern "C"
