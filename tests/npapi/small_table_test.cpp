// A browser whose function table ends before the scripting functions: the module must not
// call slots the browser did not hand over. It loads, gives no scriptable object and
// refuses ConnectCard for want of a page URL.
#include <gtest/gtest.h>

#include <cstddef>

#include "tools/pagehost/host_browser.h"

namespace quilta::pagehost {
namespace {

TEST(SmallBrowserTable, ModuleUsesOnlyTheSlotsItWasGiven) {
  std::string error;
  constexpr auto kSize = static_cast<uint16_t>(offsetof(NPNetscapeFuncs, forceredraw) + sizeof(void*));
  Module* module = Module::Load(QUILTA_PLUGIN_PATH, &error, kSize);
  ASSERT_NE(module, nullptr) << error;
  Page page(*module, "https://bank.example/");
  ASSERT_EQ(page.New(), NPERR_NO_ERROR);
  EXPECT_TRUE(page.windowless());  // NPN_SetValue lies within the table
  NPObject* obj = nullptr;
  EXPECT_NE(page.GetValue(NPPVpluginScriptableNPObject, &obj), NPERR_NO_ERROR);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(page.Destroy(), NPERR_NO_ERROR);
  EXPECT_EQ(module->Shutdown(), NPERR_NO_ERROR);
}

}  // namespace
}  // namespace quilta::pagehost
