// The road of a transfer and of a tax payment on the real PC/SC stack: pcscd with vsmartcard's
// vpcd driver and the card simulator, inside tools/pcsc-sandbox (slot 0 an ordinary reader,
// slot 1 a PIN-pad reader whose customer types 1234). The bank-server simulator prepares the
// inputs and judges the outputs; on the ordinary reader the scripted customer pulls and
// re-inserts the card through the bridge's control channel. Outside the sandbox every test
// skips.
#include "tests/txn/real_stack_fixture.h"

namespace quilta {
namespace {

class RealStackTransactions : public RealStackFixture {
 protected:
  // The customer at the ordinary reader's confirmation: the card out, back in, the
  // in-account's last three digits where the dialog asks for them, OK.
  void ConfirmWithReinsert(const std::string& tail) {
    person_.Wait(1)
        .Do([&] { ASSERT_TRUE(plainControl_->Remove(true)); })
        .Wait(1)
        .Do([&] { ASSERT_TRUE(plainControl_->Insert(true)); })
        .Wait(1)
        .Digits(tail)
        .Ok();
  }

  // The page's inputs for a fresh request of the server, the member, the server's verdict.
  sim::Verdict Run(sim::TxnKind kind, int32_t (CAtmCore::*member)(const std::optional<Text>&),
                   const std::optional<Text>& pin) {
    const sim::TxnRequest request = server_.Prepare(kind);
    std::string unknown;
    if (!sim::PutPageInputs(core_, server_.PageInputs(request), &unknown))
      return {false, "unknown property " + unknown};
    const int32_t st = (core_.*member)(pin);
    if (st != 0) return {false, "status " + std::to_string(st) + ": " + core_.errorText()};
    return server_.Verify(request, sim::PageOutputs(core_));
  }
};

TEST_F(RealStackTransactions, TransferOnTheOrdinaryReaderWithTheCardPulledAndPutBack) {
  Open(plain_, 1);
  // The server's transfer goes to the card's first registered account, ending in 999.
  ConfirmWithReinsert("999");
  const sim::Verdict v = Run(sim::TxnKind::kTransfer, &CAtmCore::DoTransferTAC, u"1234");
  EXPECT_TRUE(v) << v.reason;
  EXPECT_EQ(person_.Last().templateNumber, 104);
}

TEST_F(RealStackTransactions, TransferOnThePinPadReaderBothWays) {
  Open(pad_, 3);
  sim::Verdict v = Run(sim::TxnKind::kTransfer, &CAtmCore::DoTransferTAC, u"1234");
  EXPECT_TRUE(v) << v.reason;
  ASSERT_EQ(core_.SetReaderType(u"2"), 0);
  v = Run(sim::TxnKind::kTransfer, &CAtmCore::DoTransferTAC, std::nullopt);
  EXPECT_TRUE(v) << v.reason;
  EXPECT_EQ(person_.Windows().size(), 2u);
}

TEST_F(RealStackTransactions, TaxPaymentOnTheOrdinaryReader) {
  Open(plain_, 1);
  ConfirmWithReinsert("");
  const sim::Verdict v = Run(sim::TxnKind::kPayTax, &CAtmCore::DoPayTaxTAC, u"1234");
  EXPECT_TRUE(v) << v.reason;
  EXPECT_EQ(person_.Last().templateNumber, 904);
}

}  // namespace
}  // namespace quilta
