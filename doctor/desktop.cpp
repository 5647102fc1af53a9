// The desktop the dialogs need: a display, and the font they are drawn in. fontconfig is
// loaded at run time, so that the doctor runs (and says so) where it is missing.
#include <dlfcn.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "doctor/checks.h"

namespace quilta::doctor {
namespace {

// The dialogs' font (ui/gtk/dialog_units.cpp) and the package that brings it.
constexpr char kDialogFont[] = "AR PL UKai TW";
constexpr char kFontPackage[] = "fonts-arphic-ukai";

// The few fontconfig declarations needed, with fontconfig's own types.
struct FcPattern;
struct FcObjectSet;
struct FcConfig;
struct FcFontSet {
  int nfont;
  int sfont;
  FcPattern** fonts;
};
using FcPatternCreateFn = FcPattern* (*)();
using FcPatternAddStringFn = int (*)(FcPattern*, const char*, const unsigned char*);
using FcPatternGetStringFn = int (*)(const FcPattern*, const char*, int, unsigned char**);
using FcPatternDestroyFn = void (*)(FcPattern*);
using FcObjectSetBuildFn = FcObjectSet* (*)(const char*, ...);
using FcObjectSetDestroyFn = void (*)(FcObjectSet*);
using FcFontListFn = FcFontSet* (*)(FcConfig*, FcPattern*, FcObjectSet*);
using FcFontSetDestroyFn = void (*)(FcFontSet*);
using FcFiniFn = void (*)();
constexpr int kFcResultMatch = 0;

template <typename Fn>
bool Bind(void* lib, const char* name, Fn* fn) {
  *fn = reinterpret_cast<Fn>(dlsym(lib, name));
  return *fn != nullptr;
}

// Adds the files of the fonts of `family` to *files; false when fontconfig cannot be loaded.
bool FontFiles(const char* family, std::vector<std::string>* files) {
  void* lib = dlopen("libfontconfig.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!lib) return false;
  FcPatternCreateFn patternCreate;
  FcPatternAddStringFn patternAddString;
  FcPatternGetStringFn patternGetString;
  FcPatternDestroyFn patternDestroy;
  FcObjectSetBuildFn objectSetBuild;
  FcObjectSetDestroyFn objectSetDestroy;
  FcFontListFn fontList;
  FcFontSetDestroyFn fontSetDestroy;
  FcFiniFn fini;
  const bool bound = Bind(lib, "FcPatternCreate", &patternCreate) &&
                     Bind(lib, "FcPatternAddString", &patternAddString) &&
                     Bind(lib, "FcPatternGetString", &patternGetString) &&
                     Bind(lib, "FcPatternDestroy", &patternDestroy) &&
                     Bind(lib, "FcObjectSetBuild", &objectSetBuild) &&
                     Bind(lib, "FcObjectSetDestroy", &objectSetDestroy) &&
                     Bind(lib, "FcFontList", &fontList) &&
                     Bind(lib, "FcFontSetDestroy", &fontSetDestroy) && Bind(lib, "FcFini", &fini);
  if (!bound) {
    dlclose(lib);
    return false;
  }
  FcPattern* pattern = patternCreate();
  patternAddString(pattern, "family", reinterpret_cast<const unsigned char*>(family));
  FcObjectSet* objects = objectSetBuild("file", "family", static_cast<char*>(nullptr));
  // The configuration fontconfig loads itself: the system's, or the one FONTCONFIG_FILE names.
  if (FcFontSet* set = fontList(nullptr, pattern, objects)) {
    for (int i = 0; i < set->nfont; ++i) {
      unsigned char* file = nullptr;
      if (patternGetString(set->fonts[i], "file", 0, &file) == kFcResultMatch && file)
        files->push_back(reinterpret_cast<const char*>(file));
    }
    fontSetDestroy(set);
  }
  objectSetDestroy(objects);
  patternDestroy(pattern);
  fini();
  dlclose(lib);
  return true;
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

}  // namespace

void CheckDesktop(Report& report) {
  const std::string x11 = Env("DISPLAY"), wayland = Env("WAYLAND_DISPLAY");
  if (x11.empty() && wayland.empty()) {
    report.Add("display-missing", Level::kFail,
               "There is no display for the card dialogs (DISPLAY and WAYLAND_DISPLAY are not "
               "set): run this check in a terminal on the desktop where the browser runs, not "
               "over a remote connection.");
  } else {
    Finding& f =
        report.Add("display", Level::kOk,
                   "The card dialogs have a display (" +
                       (x11.empty() ? "WAYLAND_DISPLAY=" + wayland : "DISPLAY=" + x11) + ").");
    if (!x11.empty()) f.With("DISPLAY", x11);
    if (!wayland.empty()) f.With("WAYLAND_DISPLAY", wayland);
  }

  std::vector<std::string> files;
  if (!FontFiles(kDialogFont, &files)) {
    report.Add("fontconfig-missing", Level::kFail,
               "The font library (fontconfig) is not installed, so the card dialogs cannot find "
               "their font: install the packages libfontconfig1 and " +
                   std::string(kFontPackage) + ".");
    return;
  }
  if (files.empty()) {
    report
        .Add("font-missing", Level::kFail,
             std::string("The Chinese font the card dialogs are written in (") + kDialogFont +
                 ") is not installed: install the package " + kFontPackage + ".")
        .With("font", kDialogFont);
    return;
  }
  report
      .Add("font", Level::kOk,
           std::string("The card dialogs' font (") + kDialogFont + ") is installed.")
      .With("font", kDialogFont)
      .WithList("files", files);
}

}  // namespace quilta::doctor
