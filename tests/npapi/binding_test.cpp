// The plug-in module as a browser drives it: libnpquilta.so is loaded through the host
// browser of the page-script host, and the core inside the module is inspected through the
// module's development hooks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "core/atm_core.h"
#include "npapi/dev_hooks.h"
#include "testsupport/virtual_pcsc.h"
#include "quilta_config.h"
#include "sim/fisc_card.h"
#include "sim/profile.h"
#include "tools/pagehost/host_browser.h"
#include "tools/pagehost/script.h"
#include "testsupport/scripted_customer.h"

#include <sstream>

namespace quilta::pagehost {
namespace {

constexpr char kReader[] = "Virtual PCD 00 00";

std::string BankUrl() { return std::string("https://") + config::kBankDomain + "/atm/index.html"; }
std::string ForeignUrl() {
  return std::string("https://") + config::kBankDomain + ".evil.test/?u=" + config::kBankDomain;
}

class NoSleep final : public platform::Sleeper {
 public:
  void SleepMs(uint32_t) override {}
};

class Binding : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    module_ = Module::Load(QUILTA_PLUGIN_PATH, &error);
    ASSERT_NE(module_, nullptr) << error;
    core_ = reinterpret_cast<QuiltaDevCoreFunc>(module_->Symbol("QuiltaDevCore"))();
    attach_ = reinterpret_cast<QuiltaDevAttachFunc>(module_->Symbol("QuiltaDevAttach"));
  }

  void SetUp() override {
    ASSERT_NE(module_, nullptr);
    card_ = std::make_shared<sim::FiscCard>(sim::DefaultProfile());
    pcsc_.AddReader(kReader);
    pcsc_.InsertCard(kReader, card_);
    attach_(&pcsc_, &sleeper_, nullptr);
    core_->props().NumberOf(Prop::ReaderType) = 0;  // a plain reader, whatever an earlier test chose
  }

  void TearDown() override {
    core_->modalHost().SetDepthForDevelopment(0);
    core_->DisconnectCard();
    core_->DisconnectDriver();
    attach_(nullptr, nullptr, nullptr);
  }

  std::unique_ptr<Page> NewPage(std::optional<std::string> url) {
    auto page = std::make_unique<Page>(*module_, std::move(url));
    EXPECT_EQ(page->New(), NPERR_NO_ERROR);
    return page;
  }

  static Value Call(Page& page, const std::string& name, std::vector<Value> args = {}) {
    Value r;
    EXPECT_TRUE(page.Invoke(name, args, &r)) << name;
    return r;
  }

  static Value Read(Page& page, const std::string& name) {
    Value r;
    EXPECT_TRUE(page.Get(name, &r)) << name;
    return r;
  }

  // Opens the simulated card from the bank's page.
  void ConnectFromBank(Page& bank) {
    ASSERT_EQ(Call(bank, "ConnectDriver"), Value::Int(0));
    ASSERT_EQ(Call(bank, "ListReadersName"), Value::Int(0));
    ASSERT_TRUE(bank.Set("ReaderName", Value::Str(kReader)));
    ASSERT_EQ(Call(bank, "ConnectCard"), Value::Int(0));
  }

  static inline Module* module_ = nullptr;
  static inline CAtmCore* core_ = nullptr;
  static inline QuiltaDevAttachFunc attach_ = nullptr;
  platform::VirtualPcsc pcsc_;
  NoSleep sleeper_;
  std::shared_ptr<sim::FiscCard> card_;
};

TEST_F(Binding, ModuleAndInstanceAnswerTheBrowsersQuestions) {
  EXPECT_STREQ(module_->MimeDescription(), "application/ZELB-Quilta-plugin:.ZELB:ZELB-Quilta-plugin");
  const char* text = nullptr;
  ASSERT_EQ(module_->GetModuleValue(NPPVpluginNameString, &text), NPERR_NO_ERROR);
  EXPECT_STREQ(text, "NPRuntimeTest");
  ASSERT_EQ(module_->GetModuleValue(NPPVpluginDescriptionString, &text), NPERR_NO_ERROR);
  EXPECT_STREQ(text, "NPRuntime scriptability API test plugin");

  auto page = NewPage(BankUrl());
  EXPECT_TRUE(page->windowless());
  text = nullptr;
  ASSERT_EQ(page->GetValue(NPPVpluginNameString, &text), NPERR_NO_ERROR);
  EXPECT_STREQ(text, "NPRuntimeTest");
  ASSERT_EQ(page->GetValue(NPPVpluginDescriptionString, &text), NPERR_NO_ERROR);
  EXPECT_STREQ(text, "NPRuntime scriptability API test plugin");
  NPBool windowed = 1;
  EXPECT_EQ(page->GetValue(NPPVpluginWindowBool, &windowed), NPERR_GENERIC_ERROR);

  const NPPluginFuncs& f = module_->funcs();
  EXPECT_EQ(f.newp(nullptr, nullptr, NP_EMBED, 0, nullptr, nullptr, nullptr),
            NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(f.getvalue(nullptr, NPPVpluginNameString, &text), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(f.destroy(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  NPP_t bare{};
  EXPECT_EQ(f.getvalue(&bare, NPPVpluginNameString, &text), NPERR_GENERIC_ERROR);  // no NPP_New
  EXPECT_EQ(f.write(page->npp(), nullptr, 0, 17, nullptr), 17);
  // A second NPP_New on a live instance creates nothing.
  void* before = page->npp()->pdata;
  EXPECT_EQ(f.newp(nullptr, page->npp(), NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
  EXPECT_EQ(page->npp()->pdata, before);
}

TEST_F(Binding, ScriptableObjectIsCreatedOnceAndRetainedPerRequest) {
  auto page = NewPage(BankUrl());
  NPObject* a = nullptr;
  NPObject* b = nullptr;
  ASSERT_EQ(page->GetValue(NPPVpluginScriptableNPObject, &a), NPERR_NO_ERROR);
  ASSERT_EQ(page->GetValue(NPPVpluginScriptableNPObject, &b), NPERR_NO_ERROR);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->referenceCount, 3u);  // the instance's own and one per request
  // Once the page lets go of its references, NPP_Destroy releases the instance's own and
  // the object is freed.
  size_t live = LiveObjects();
  Release(a);
  Release(b);
  EXPECT_EQ(LiveObjects(), live);
  EXPECT_EQ(page->Destroy(), NPERR_NO_ERROR);
  EXPECT_EQ(page->npp()->pdata, nullptr);
  EXPECT_EQ(LiveObjects(), live - 1);
}

// The page sees the table's members as they are (their count, names and kinds are the table's
// own, tested in core); writes and calls the table refuses are refused here too.
TEST_F(Binding, MembersFollowTheTable) {
  auto page = NewPage(BankUrl());
  for (const MethodInfo& m : kMethods) {
    EXPECT_EQ(page->HasMethod(std::string(m.name)), m.scope == Scope::Both) << m.name;
    EXPECT_FALSE(page->HasProperty(std::string(m.name))) << m.name;
  }
  for (const PropInfo& p : kProps) {
    EXPECT_TRUE(page->HasProperty(std::string(p.name))) << p.name;
    EXPECT_FALSE(page->HasMethod(std::string(p.name))) << p.name;
  }

  Value v;
  EXPECT_TRUE(page->HasProperty("SessionKey"));
  EXPECT_FALSE(page->Get("SessionKey", &v));
  EXPECT_FALSE(page->Set("Reader0", Value::Str("x")));
  EXPECT_FALSE(page->Set("TACLog5", Value::Str("x")));
  EXPECT_FALSE(page->Set("ErrorInfo", Value::Str("x")));
  EXPECT_FALSE(page->Invoke("DoAccessibleTransferTAC", {Value::Str("1234")}, &v));
  EXPECT_FALSE(page->Invoke("DoAccessibleInquiryTAC", {Value::Str("1234")}, &v));
  EXPECT_FALSE(page->Invoke("NoSuchMethod", {}, &v));
  EXPECT_EQ(Read(*page, "ID"), Value::Str(""));
  EXPECT_EQ(Read(*page, "ApplyType"), Value::Int(0));
  EXPECT_EQ(Call(*page, "GetComVersion"), Value::Str("1,0,0,1"));
  ASSERT_TRUE(page->InvokeDefault({Value::Int(1)}, &v));
  EXPECT_EQ(v, Value::Str("default method return val"));
}

TEST_F(Binding, TextCrossesAsUtf8BothWays) {
  auto page = NewPage(BankUrl());
  ASSERT_TRUE(page->Set("PCode", Value::Str("\xE4\xB8\xAD\xE6\x96\x87")));  // 中文
  EXPECT_EQ(core_->props().TextOf(Prop::PCode), u"中文");

  // 16 zeros before any card read (a fresh process); the card's account number after one.
  Value v = Read(*page, "AccountNo0");
  EXPECT_EQ(v, Value::Str(ToUtf8(core_->props().TextOf(Prop::AccountNo0))));
  EXPECT_EQ(v.s.size(), 16u);
  EXPECT_EQ(page->lastUtf8Length(), 16u);

  ASSERT_TRUE(page->Set("ReaderName", Value::Str("\xE8\xAE\x80\xE5\x8D\xA1 1")));  // 讀卡 1
  EXPECT_EQ(core_->props().TextOf(Prop::ReaderName), u"讀卡 1");
  v = Read(*page, "ReaderName");
  EXPECT_EQ(v.s, "\xE8\xAE\x80\xE5\x8D\xA1 1");
  EXPECT_EQ(page->lastUtf8Length(), 8u);

  // Card bytes that are not valid in the narrow code page reach the page as valid UTF-8.
  core_->props().TextOf(Prop::CardRemark) = FromNarrow(std::string("\xFF\x41", 2));
  v = Read(*page, "CardRemark");
  EXPECT_EQ(v.s, "\xEF\xBF\xBD" "A");
  EXPECT_EQ(page->lastUtf8Length(), 4u);

  // A string is read over exactly its byte count (no terminator is looked for).
  NPObject* obj = page->Object();
  const char bytes[] = "ABCDEF";
  NPVariant s;
  s.type = NPVariantType_String;
  s.value.stringValue.UTF8Characters = bytes;
  s.value.stringValue.UTF8Length = 3;
  ASSERT_TRUE(obj->_class->setProperty(obj, Identifier("FdId"), &s));
  EXPECT_EQ(core_->props().TextOf(Prop::FdId), u"ABC");
}

TEST_F(Binding, NumbersAreTakenAsTheirDecimalText) {
  auto page = NewPage(BankUrl());
  ASSERT_TRUE(page->Set("PCode", Value::Int(-1234)));
  EXPECT_EQ(core_->props().TextOf(Prop::PCode), u"-1234");
  ASSERT_TRUE(page->Set("PCode", Value::Dbl(3.0)));
  EXPECT_EQ(core_->props().TextOf(Prop::PCode), u"3");
  ASSERT_TRUE(page->Set("PCode", Value::Dbl(12.5)));
  EXPECT_EQ(core_->props().TextOf(Prop::PCode), u"12.5");
  ASSERT_TRUE(page->Set("PCode", Value::Dbl(123456789012.0)));
  EXPECT_EQ(core_->props().TextOf(Prop::PCode), u"123456789012");
  // Values without a decimal text are refused and change nothing.
  EXPECT_FALSE(page->Set("PCode", Value::Boolean(true)));
  EXPECT_FALSE(page->Set("PCode", Value::NullValue()));
  EXPECT_FALSE(page->Set("PCode", Value::Dbl(std::nan(""))));
  EXPECT_EQ(core_->props().TextOf(Prop::PCode), u"123456789012");

  // A number argument works where text is expected: SetReaderType(2) as SetReaderType("2").
  Value byText = Call(*page, "SetReaderType", {Value::Str("2")});
  int32_t typeByText = core_->props().NumberOf(Prop::ReaderType);
  core_->props().NumberOf(Prop::ReaderType) = 0;
  EXPECT_EQ(Call(*page, "SetReaderType", {Value::Int(2)}), byText);
  EXPECT_EQ(core_->props().NumberOf(Prop::ReaderType), typeByText);
  core_->props().NumberOf(Prop::ReaderType) = 0;
  EXPECT_EQ(Call(*page, "SetReaderType", {Value::Dbl(2.0)}), byText);
  EXPECT_EQ(core_->props().NumberOf(Prop::ReaderType), typeByText);
}

TEST_F(Binding, IntegerPropertiesTakeWholeNumbersOnly) {
  auto page = NewPage(BankUrl());
  ASSERT_TRUE(page->Set("ReaderType", Value::Dbl(2.0)));
  EXPECT_EQ(Read(*page, "ReaderType"), Value::Int(2));
  EXPECT_EQ(Read(*page, "ReaderType").kind, Value::Kind::Int);
  EXPECT_FALSE(page->Set("ReaderType", Value::Dbl(2.5)));
  EXPECT_FALSE(page->Set("ReaderType", Value::Dbl(3e9)));
  EXPECT_FALSE(page->Set("ReaderType", Value::Dbl(std::nan(""))));
  EXPECT_FALSE(page->Set("ReaderType", Value::Str("3")));
  EXPECT_FALSE(page->Set("ReaderType", Value::Boolean(true)));
  EXPECT_EQ(Read(*page, "ReaderType"), Value::Int(2));
  ASSERT_TRUE(page->Set("ReaderType", Value::Int(3)));
  EXPECT_EQ(core_->props().NumberOf(Prop::ReaderType), 3);
  ASSERT_TRUE(page->Set("ApplyType", Value::Dbl(-7.0)));
  EXPECT_EQ(core_->props().NumberOf(Prop::ApplyType), -7);
  EXPECT_FALSE(page->Set("ApplyType", Value::Dbl(0.5)));
  EXPECT_EQ(core_->props().NumberOf(Prop::ApplyType), -7);
}

TEST_F(Binding, MissingArgumentsAreRefusedBeforeAnythingIsSent) {
  auto page = NewPage(BankUrl());
  ConnectFromBank(*page);
  pcsc_.ClearLog();
  NPObject* obj = page->Object();
  // Arguments live in memory of exactly argCount variants, so reading past it is caught by
  // the address sanitizer.
  auto call = [&](const char* name, std::vector<Value> args) {
    std::vector<std::string> storage(args.size());
    auto vars = std::make_unique<NPVariant[]>(args.size());
    for (size_t i = 0; i < args.size(); ++i) vars[i] = ToVariant(args[i], &storage[i]);
    NPVariant r;
    EXPECT_TRUE(obj->_class->invoke(obj, Identifier(name), args.empty() ? nullptr : vars.get(),
                                    static_cast<uint32_t>(args.size()), &r));
    EXPECT_EQ(r.type, NPVariantType_Int32) << name;
    return r.value.intValue;
  };
  EXPECT_EQ(call("VerifyPIN", {}), 6002);
  EXPECT_EQ(core_->errorText(), " para input error. (6002)");
  EXPECT_EQ(call("ChangePIN", {Value::Str("1234")}), 6002);
  EXPECT_EQ(call("GetAtmCode", {Value::Str("1"), Value::Str("2")}), 6002);
  EXPECT_EQ(call("VerifyPIN", {Value::Boolean(true)}), 6002);  // not text: missing
  EXPECT_EQ(call("SetReaderType", {}), 5042);
  EXPECT_EQ(pcsc_.Count("Transmit"), 0u);
  // An explicitly empty string is a text, not a missing argument.
  EXPECT_EQ(call("GetAtmCode", {Value::Str(""), Value::Str(""), Value::Str("")}), 0);
  // Extra arguments are ignored.
  EXPECT_EQ(call("VerifyPIN", {Value::Str("1234"), Value::Str("extra")}), 0);
}

// Each instance's object is judged by its own page, whatever page another instance of the
// process has and in whatever order they were made: while the bank's page has the card open,
// an object on any other page answers GetComVersion, reads nothing (void), has its writes
// refused and gets 5004 from every other method, with nothing sent to the reader and nothing
// of the bank page's state changed. Member detection works as before.
TEST_F(Binding, EachObjectIsJudgedByItsOwnPage) {
  const std::string domain = config::kBankDomain;
  struct Kind {
    std::optional<std::string> url;
    bool bank;
  };
  const std::vector<Kind> kinds = {
      {"https://" + domain + "/atm/login.html?" + std::string(3000, 'q'), true},
      {"https://www." + domain + "/atm/transfer.html", true},
      {"http://" + domain + "/atm/", config::kAllowPlainHttp},
      {ForeignUrl(), false},
      {"file:///home/user/" + domain + "/atm.html", false},
      {std::nullopt, false},  // a browser that gives no page URL
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.url.value_or("(no URL)"));
    auto bank = NewPage(BankUrl());
    ConnectFromBank(*bank);
    auto other = NewPage(kind.url);
    auto newest = NewPage(BankUrl());  // a newer bank page changes nothing for `other`
    const platform::ScardHandle handle = core_->channel().handle;
    const std::string errorBefore = core_->errorText();
    pcsc_.ClearLog();

    EXPECT_TRUE(other->HasMethod("ConnectCard"));
    EXPECT_TRUE(other->HasProperty("CardNo"));
    EXPECT_EQ(Call(*other, "GetComVersion"), Value::Str("1,0,0,1"));
    if (kind.bank) {
      EXPECT_EQ(Read(*other, "ReaderName"), Value::Str(kReader));
      EXPECT_EQ(Call(*other, "ReadBasicData"), Value::Int(0));
    } else {
      for (const char* method : {"ConnectDriver", "ConnectCard", "ReadBasicData", "DoInput",
                                 "DisconnectCard", "DisconnectDriver"}) {
        EXPECT_EQ(Call(*other, method), Value::Int(5004)) << method;
      }
      EXPECT_EQ(Call(*other, "VerifyPIN", {Value::Str("0000")}), Value::Int(5004));
      EXPECT_EQ(Call(*other, "ChangePIN", {Value::Str("1234"), Value::Str("9999")}), Value::Int(5004));
      for (const char* prop : {"ReaderName", "CardNo", "AccountNo0", "ErrorInfo", "SessionKey", "ReaderType"}) {
        EXPECT_EQ(Read(*other, prop), Value()) << prop;  // void
      }
      EXPECT_FALSE(other->Set("ReaderName", Value::Str("other")));
      EXPECT_FALSE(other->Set("PCode", Value::Str("6666")));
      EXPECT_FALSE(other->Set("ReaderType", Value::Int(2)));
      EXPECT_TRUE(pcsc_.Log().empty());
      EXPECT_EQ(core_->channel().handle, handle);
      EXPECT_EQ(core_->errorText(), errorBefore);
      EXPECT_EQ(Read(*bank, "ReaderName"), Value::Str(kReader));
      EXPECT_EQ(Call(*bank, "ReadBasicData"), Value::Int(0));  // the bank's card stays usable
    }
    other->Destroy();
    EXPECT_EQ(Call(*newest, "ReadBasicData"), Value::Int(0));
    TearDown();
    SetUp();
  }
}

TEST_F(Binding, CallsDuringAModalDialogAreRefusedAndChangeNothing) {
  auto page = NewPage(BankUrl());
  ASSERT_TRUE(page->Set("ReaderName", Value::Str(kReader)));
  ASSERT_EQ(Call(*page, "ConnectDriver"), Value::Int(0));
  std::string errorBefore = core_->errorText();
  pcsc_.ClearLog();

  ui::ModalScope dialog(core_->modalHost());
  EXPECT_EQ(Call(*page, "ConnectCard"), Value::Int(status::kBusy));
  EXPECT_EQ(Call(*page, "VerifyPIN", {Value::Str("1234")}), Value::Int(status::kBusy));
  EXPECT_EQ(Call(*page, "DisconnectDriver"), Value::Int(status::kBusy));
  EXPECT_FALSE(page->Set("ReaderName", Value::Str("other")));
  EXPECT_FALSE(page->Set("ReaderType", Value::Int(2)));
  EXPECT_EQ(core_->errorText(), errorBefore);
  EXPECT_TRUE(pcsc_.Log().empty());
  EXPECT_EQ(Read(*page, "ReaderName"), Value::Str(kReader));  // reads still work
}

// The same, with a real dialog: the reader's PIN-pad dialog runs for VerifyPIN on a reader of
// type 2, and the page script calls in while the customer looks at it.
TEST_F(Binding, PageCallsDuringTheReaderPinDialogAreRefused) {
  auto page = NewPage(BankUrl());
  ConnectFromBank(*page);
  ASSERT_TRUE(page->Set("ReaderType", Value::Int(2)));
  ui::ScriptedCustomer customer;
  QuiltaDevDialogHooks hooks{sizeof(QuiltaDevDialogHooks), nullptr, &customer};
  attach_(&pcsc_, &sleeper_, &hooks);

  Value during;
  bool writeAccepted = true;
  std::string errorDuring;
  int depthDuring = 0;
  customer.Do([&] {
    depthDuring = core_->modalHost().depth();
    during = Call(*page, "DisconnectCard");
    writeAccepted = page->Set("ReaderName", Value::Str("other"));
    errorDuring = core_->errorText();
  }).Cancel();
  std::string errorBefore = core_->errorText();
  Value result = Call(*page, "VerifyPIN", {Value::Str("1234")});

  QuiltaDevDialogHooks restore{sizeof(QuiltaDevDialogHooks), nullptr, nullptr};
  attach_(&pcsc_, &sleeper_, &restore);
  ASSERT_FALSE(customer.Windows().empty()) << "no dialog was shown";
  EXPECT_GT(depthDuring, 0);
  EXPECT_EQ(during, Value::Int(status::kBusy));
  EXPECT_FALSE(writeAccepted);
  EXPECT_EQ(errorDuring, errorBefore);
  EXPECT_EQ(core_->props().TextOf(Prop::ReaderName), u"Virtual PCD 00 00");
  EXPECT_NE(core_->channel().handle, 0u);  // the refused DisconnectCard did not run
  EXPECT_NE(result, Value::Int(status::kBusy));
}

TEST_F(Binding, PageScriptsFailWhenTheOutcomeDiffersFromTheExpectation) {
  std::ostringstream out;
  ScriptRunner runner(*module_, BankUrl(), out);
  EXPECT_TRUE(runner.RunLine("call GetComVersion -> \"1,0,0,1\""));
  EXPECT_FALSE(runner.RunLine("call GetComVersion -> \"1,0,0,2\""));
  EXPECT_FALSE(runner.RunLine("call GetComVersion -> refused"));
  EXPECT_TRUE(runner.RunLine("ReaderType = 2.0"));
  EXPECT_TRUE(runner.RunLine("get ReaderType == 2"));
  EXPECT_FALSE(runner.RunLine("get ReaderType == 3"));
  EXPECT_FALSE(runner.RunLine("get ReaderType == \"2\""));
  EXPECT_FALSE(runner.RunLine("set Reader0 = \"x\""));
  EXPECT_FALSE(runner.RunLine("set PCode = \"x\" -> refused"));
  EXPECT_FALSE(runner.RunLine("get SessionKey == \"\""));
  EXPECT_FALSE(runner.RunLine("has SessionKey -> method"));
  EXPECT_FALSE(runner.RunLine("call VerifyPIN(\"1\""));  // malformed
  EXPECT_FALSE(runner.RunLine("frobnicate"));
  EXPECT_TRUE(runner.RunLine("PCode = \"\\u4e2d\\x41\""));
  EXPECT_EQ(core_->props().TextOf(Prop::PCode), u"中A");

  std::istringstream script("# one failed expectation\ncall GetComVersion == 1\nget ErrorInfo\nget Nothing\n");
  EXPECT_EQ(runner.Run(script, "test"), 1);  // a plain read of an unknown name only prints
}

}  // namespace
}  // namespace quilta::pagehost
