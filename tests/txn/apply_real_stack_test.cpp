// The activation and apply family on the real PC/SC stack: pcscd with vsmartcard's vpcd
// driver and the card simulator, inside tools/pcsc-sandbox (slot 0 an ordinary reader, slot 1
// a PIN-pad reader whose customer types 1234). The bank-server simulator prepares the inputs
// and judges the outputs; the scripted customer pulls and re-inserts the card through the
// bridge's control channel. Outside the sandbox every test skips.
#include "tests/txn/real_stack_fixture.h"

namespace quilta {
namespace {

class RealStackApply : public RealStackFixture {
 protected:
  void Put(Prop p, const std::string& value) { core_.PutText(p, AsciiText(value)); }

  // DoApplyTAC for a fresh request of the server; the server's verdict.
  sim::Verdict Apply(int applyType, const std::u16string& pin) {
    sim::TxnRequest request = server_.Prepare(sim::TxnKind::kApply);
    request.applyType = applyType;
    std::string unknown;
    if (!sim::PutPageInputs(core_, server_.PageInputs(request), &unknown))
      return {false, "unknown property " + unknown};
    const int32_t st = core_.DoApplyTAC(pin);
    if (st != 0) return {false, "DoApplyTAC " + std::to_string(st) + ": " + core_.errorText()};
    return server_.Verify(request, sim::PageOutputs(core_));
  }
};

TEST_F(RealStackApply, ApplyOnEveryReaderType) {
  Open(plain_, 1);
  person_.Wait(1)
      .Do([&] { ASSERT_TRUE(plainControl_->Remove(true)); })
      .Wait(1)
      .Do([&] { ASSERT_TRUE(plainControl_->Insert(true)); })
      .Wait(1)
      .Ok();
  sim::Verdict v = Apply(3, u"1234");
  EXPECT_TRUE(v) << v.reason;
  EXPECT_EQ(person_.Last().templateNumber, 203);

  Open(pad_, 2);
  v = Apply(1, u"");
  EXPECT_TRUE(v) << v.reason;
  EXPECT_EQ(person_.Last().templateNumber, 208);

  Open(pad_, 3);
  v = Apply(5, u"1234");
  EXPECT_TRUE(v) << v.reason;
  EXPECT_EQ(person_.Last().templateNumber, 206);
}

TEST_F(RealStackApply, ActivationWritesPinAndListsThenTheNewPinWorks) {
  Open(plain_, 1);
  ASSERT_EQ(core_.DoActiveTAC(), 0) << core_.errorText();
  EXPECT_EQ(core_.props().TextOf(Prop::RandomNo).size(), 16u);

  Put(Prop::Key, server_.ExternalAuthKey(ToNarrow(core_.props().TextOf(Prop::RandomNo))).value());
  Put(Prop::aPIN, sim::BankServer::PinBlockHex("8642"));
  Put(Prop::aSetData, "Y");
  Put(Prop::aAccountNo0, "0081234500055555");
  ASSERT_EQ(core_.SetCardActive(), 0) << core_.errorText();

  ASSERT_EQ(core_.ReadBasicData(), 0) << core_.errorText();
  EXPECT_EQ(core_.props().TextOf(Prop::AccountNo0), u"0081234500055555");
  EXPECT_EQ(core_.props().NumberOf(Prop::AccountCount), 1);
  EXPECT_EQ(core_.VerifyPIN(u"1234"), status::kPinError);
  EXPECT_EQ(core_.VerifyPIN(u"8642"), 0) << core_.errorText();

  // The list write alone, read back by the method: every default slot is unusable.
  Put(Prop::aAccountNo0, "0000000000000000");
  ASSERT_EQ(core_.SetCardData(), 0) << core_.errorText();
  EXPECT_EQ(core_.props().NumberOf(Prop::AccountCount), 0);
  EXPECT_EQ(core_.props().NumberOf(Prop::AuthInCount), 0);
}

}  // namespace
}  // namespace quilta
