// The bank-server simulator against the simulated card and the plug-in's own session
// crypto: the blocks it expects (checked against bytes written out by hand), TACs the card
// computed from the TAC command, log-in's SessionTAC, and one-byte changes it must refuse.
#include "sim/bank_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/hex.h"
#include "crypto/field_crypto.h"
#include "quilta_config.h"
#include "sim/fisc_card.h"
#include "tests/sim/apdu_script.h"
#include "txn/blocks.h"

namespace quilta::sim {
namespace {

using test::Bytes;
using test::Send;
using txn::BlockKind;

std::string AsText(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The plug-in's side of a session: the cipher key from nono, SessionKey unwrapped, fields
// encrypted under the session key, a FISC card behind a plain reader with its PIN verified.
struct PluginSide {
  explicit PluginSide(const BankServer& server, Profile profile = DefaultProfile())
      : card(std::move(profile)) {
    const std::string cipherKey = DeriveCipherKey(server.session().nono(), config::kKeyTable);
    status = UnwrapSessionKey(cipher, cipherKey, "0123456789ABCDEF", server.session().sessionKey(), 32,
                              &plainKey);
    card.PowerOn();
    Send(card, "00 A4 04 00 08 A0 00 00 01 72 95 00 01 00");
    Bytes8 pin = PinBlockOf(card.InitialProfile().pin);
    std::vector<uint8_t> verify = {0x00, 0x20, 0x00, 0x10, 0x08};
    verify.insert(verify.end(), pin.begin(), pin.end());
    verifySw = card.Transmit(verify);
  }

  // Sends the TAC command for `block` and takes the results as the plug-in does.
  TxnOutputs Sign(const std::vector<uint8_t>& block, const std::string& accountNo, const std::string& id) {
    std::vector<uint8_t> answer = card.Transmit(txn::TacCommandApdu(block));
    EXPECT_EQ(answer.size(), txn::kTacAnswerLength + 2);
    EXPECT_EQ(answer[answer.size() - 2], 0x90);
    auto parsed = txn::ParseTacAnswer(std::span(answer.data(), answer.size() - 2));
    EXPECT_TRUE(parsed);
    TxnOutputs out;
    if (!parsed) return out;
    out.tac = parsed->TacHex();
    out.iccSeqNo = parsed->iccSeqNo;
    out.sessionTac = EncryptField(cipher, plainKey);
    if (!accountNo.empty()) out.encOutAccountNo = EncryptField(cipher, accountNo);
    if (!id.empty()) out.encId = EncryptField(cipher, id);
    return out;
  }

  FiscCard card;
  CRijndael cipher;
  std::string plainKey;
  int32_t status = -1;
  std::vector<uint8_t> verifySw;
};

// Field values chosen so that every field is told apart in the block.
TxnRequest HandRequest(TxnKind kind, const char* pCode) {
  TxnRequest r;
  r.kind = kind;
  r.pCode = pCode;
  r.fdId = "F0000001";
  r.fdChkCode = "C0000002";
  r.accountNo = "0081234500012345";
  r.inBankNo = "00700000";
  r.inAccountNo = "7000000012345678";
  r.amount = "1500";
  r.serverDateTime = "20180104093015";
  r.feeType = "11001";
  r.feeName = "房屋稅";
  r.merchantId = "M00000000000000000000000000099";
  r.id = "A123456789";
  r.cTelNo = "";
  return r;
}

TEST(BankServerBlocks, ExpectedBlocksAreTheFieldsInTheirOrderAndWidths) {
  BankServer server(config::kKeyTable, DefaultProfile());
  const struct {
    TxnKind kind;
    const char* pCode;
    const char* lc;
    std::string block;
  } cases[] = {
      {TxnKind::kInquiry, "2500", "1C", "2500" "C0000002" "0081234500012345"},
      {TxnKind::kTransfer, "2521", "50",
       "2521" "00000000150000" "F0000001" "C0000002" "20180104093015" "7000000012345678" "0081234500012345"},
      {TxnKind::kPayTax, "2531", "55",
       "2531" "00000000150000" "F0000001" "C0000002" "20180104093015" "11001" "0081234500012345"
       "7000000012345678"},
      {TxnKind::kPayFee, "2561", "40",
       "2561" "00000000150000" "F0000001" "C0000002" "20180104093015" "0081234500012345"},
      {TxnKind::kPayMoney, "2541", "5E",
       "2541" "00000000150000" "F0000001" "C0000002" "20180104093015" "M00000000000000000000000000099"
       "0081234500012345"},
      {TxnKind::kApply, "2590", "34", "2590" "A123456789      " "C0000002" "20180104093015" "          "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(MethodOf(c.kind)));
    auto block = server.ExpectedBlock(HandRequest(c.kind, c.pCode));
    ASSERT_TRUE(block);
    EXPECT_EQ(AsText(*block), c.block);
    const BlockKind kind = *BlockKindOf(c.kind);
    EXPECT_EQ(txn::LayoutOf(kind).lc, c.lc);
    auto command = txn::TacCommandOf(kind, BytesToHex(block->data(), block->size()));
    EXPECT_EQ(command.cla + command.ins + command.p1 + command.p2 + command.lc + command.data + command.le,
              "00E21080" + std::string(c.lc) + BytesToHex(block->data(), block->size()) + "00");
  }
  // The whole inquiry command, byte for byte: 34 bytes.
  auto inquiry = server.ExpectedBlock(HandRequest(TxnKind::kInquiry, "2500"));
  EXPECT_EQ(txn::TacCommandApdu(*inquiry),
            Bytes("00 E2 10 80 1C 32 35 30 30 43 30 30 30 30 30 30 32 30 30 38 31 32 33 34 35 30 "
                  "30 30 31 32 33 34 35 00"));
  EXPECT_FALSE(server.ExpectedBlock(HandRequest(TxnKind::kLogin, "")));
}

TEST(BankServerBlocks, AFieldOfTheWrongWidthGivesNoBlock) {
  txn::BlockInputs in = BlockInputsOf(HandRequest(TxnKind::kTransfer, "2521"));
  in.inAccountNo.pop_back();
  EXPECT_EQ(txn::FirstMisfit(BlockKind::kTransfer, in), txn::BlockField::kInAccountNo);
  EXPECT_FALSE(txn::BuildBlock(BlockKind::kTransfer, in));
  // The inquiry does not hold InAccountNo.
  EXPECT_TRUE(txn::BuildBlock(BlockKind::kInquiry, in));

  BankServer server(config::kKeyTable, DefaultProfile());
  TxnRequest r = HandRequest(TxnKind::kTransfer, "2521");
  r.amount = "1234567890123";  // 13 digits: a 15-character Amount14
  EXPECT_EQ(server.Verify(r, {}).reason, "the request's Amount14 is not 14 characters");
}

// Every field a kind's block holds is among the properties the page is told to write.
TEST(BankServerBlocks, PageInputsCoverEveryBlockField) {
  BankServer server(config::kKeyTable, DefaultProfile());
  for (TxnKind kind : {TxnKind::kInquiry, TxnKind::kTransfer, TxnKind::kPayTax, TxnKind::kPayFee,
                       TxnKind::kPayMoney, TxnKind::kApply}) {
    SCOPED_TRACE(std::string(MethodOf(kind)));
    const auto inputs = server.PageInputs(server.Prepare(kind));
    ASSERT_GE(inputs.size(), 2u);
    EXPECT_EQ(inputs[0].property, "nono");
    EXPECT_EQ(inputs[1].property, "SessionKey");
    for (txn::BlockField f : txn::LayoutOf(*BlockKindOf(kind)).fields) {
      std::string property(f == txn::BlockField::kAmount14 ? "Amount" : txn::NameOf(f));
      EXPECT_TRUE(std::any_of(inputs.begin(), inputs.end(), [&](const PageInput& p) { return p.property == property; }))
          << property;
    }
  }
}

TEST(BankServerLogin, SessionTacIsCardNumberEightSlotsAndKey) {
  const struct {
    const char* profile;
    std::string cardAndSlots;
  } cases[] = {
      {"default.txt",
       "0102030405060708090A0B0C0D0E0F10" "0081234500012345" "0081234500067890" "0000000000000000"
       "0000000000000000" "0000000000000000" "0000000000000000" "0000000000000000" "0000000000000000"},
      // Unusable fields read as 16 '0'; a usable field with a zero byte ends there, as the
      // plug-in's AccountNo5 does, so the text is shorter than 176 and padded.
      {"empty-accounts.txt",
       "E0E0E0E0E0E0E0E0E0E0E0E0E0E0E0E1" "0000000000000000" "0081234500077777" "0000000000000000"
       "0000000000000000" "0000000000000001" "    0000" "0000000000000000" "0000000000000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    BankServer server(config::kKeyTable, LoadProfile(std::string(QUILTA_SIM_PROFILES_DIR) + "/" + c.profile));
    server.NewSession(42);
    PluginSide plugin(server, server.card());
    ASSERT_EQ(plugin.status, 0);
    ASSERT_EQ(plugin.plainKey.substr(0, 3), "ATM");
    ASSERT_EQ(server.ExpectedLoginText(), c.cardAndSlots + plugin.plainKey);

    TxnOutputs out;
    out.sessionTac = EncryptField(plugin.cipher, c.cardAndSlots + plugin.plainKey);
    EXPECT_EQ(out.sessionTac.size(), 352u);
    Verdict v = server.Verify(server.Prepare(TxnKind::kLogin), out);
    EXPECT_TRUE(v) << v.reason;
  }

  BankServer server(config::kKeyTable, DefaultProfile());
  PluginSide plugin(server);
  const std::string good = server.ExpectedLoginText();
  ASSERT_EQ(good.size(), txn::kLoginTextLength);
  auto changedAt = [&](size_t at) {
    std::string text = good;
    text[at] = text[at] == '1' ? '2' : '1';
    TxnOutputs out;
    out.sessionTac = EncryptField(plugin.cipher, text);
    return server.Verify(server.Prepare(TxnKind::kLogin), out).reason;
  };
  const std::string prefix = "SessionTAC does not decrypt to card number + 8 account slots + session key: ";
  EXPECT_EQ(changedAt(5), prefix + "the card number differs");
  EXPECT_EQ(changedAt(32 + 3 * 16 + 15), prefix + "AccountNo3 differs");
  EXPECT_EQ(changedAt(175), prefix + "the session key differs");
  TxnOutputs keyOnly;
  keyOnly.sessionTac = EncryptField(plugin.cipher, plugin.plainKey);
  EXPECT_EQ(server.Verify(server.Prepare(TxnKind::kLogin), keyOnly).reason, "SessionTAC is 32 hex digits, not 352");
}

// For every kind: the card signs the block through its TAC command, the server accepts the
// outputs and the card's TAC log record, and refuses the outputs when one byte changed.
TEST(BankServerTac, AcceptsTheCardsTacAndRefusesOneByteChanges) {
  BankServer server(config::kKeyTable, DefaultProfile());
  server.NewSession(7);
  server.SetDateTime("20180104093015");
  PluginSide plugin(server);
  ASSERT_EQ(plugin.status, 0);
  ASSERT_EQ(plugin.verifySw, Bytes("90 00"));

  for (TxnKind kind : {TxnKind::kInquiry, TxnKind::kTransfer, TxnKind::kPayTax, TxnKind::kPayFee,
                       TxnKind::kPayMoney, TxnKind::kApply}) {
    SCOPED_TRACE(std::string(MethodOf(kind)));
    const TxnRequest request = server.Prepare(kind);
    const txn::BlockInputs fields = BlockInputsOf(request);
    const bool apply = kind == TxnKind::kApply;
    const std::string account = apply ? "" : request.accountNo;
    const std::string id = apply ? fields.id : "";
    auto block = txn::BuildBlock(*BlockKindOf(kind), fields);
    ASSERT_TRUE(block);

    const TxnOutputs out = plugin.Sign(*block, account, id);
    Verdict v = server.Verify(request, out);
    EXPECT_TRUE(v) << v.reason;
    EXPECT_EQ(v.reason.rfind("TAC verified", 0), 0u) << v.reason;

    Send(plugin.card, "00 A4 02 00 02 10 80");
    std::vector<uint8_t> record = Send(plugin.card, "00 B2 01 04 00");
    ASSERT_EQ(record.size(), kTacLogRecordSize + 2);
    const std::string log = BytesToHex(record.data(), kTacLogRecordSize);
    Verdict logged = server.VerifyTacLogRecord(log, request, out);
    EXPECT_TRUE(logged) << logged.reason;

    // One byte of the block changed before the card signed it, at every position.
    for (size_t i = 0; i < block->size(); ++i) {
      std::vector<uint8_t> changed = *block;
      changed[i] ^= 0x01;
      Verdict r = server.Verify(request, plugin.Sign(changed, account, id));
      EXPECT_FALSE(r) << "byte " << i;
      EXPECT_EQ(r.reason.rfind("TAC does not verify over the expected", 0), 0u) << r.reason;
    }

    auto refused = [&](TxnOutputs o, const char* reasonStart) {
      Verdict r = server.Verify(request, o);
      EXPECT_FALSE(r);
      EXPECT_EQ(r.reason.rfind(reasonStart, 0), 0u) << r.reason;
    };
    TxnOutputs o = out;
    o.tac[15] = o.tac[15] == '0' ? '1' : '0';
    refused(o, "TAC does not verify");
    o = out;
    o.iccSeqNo[7] = o.iccSeqNo[7] == '0' ? '1' : '0';
    refused(o, "TAC does not verify");
    o = out;
    o.iccSeqNo[3] = 'x';
    refused(o, "IccSeqNo \"");
    o = out;
    std::string otherKey = plugin.plainKey;
    otherKey[15] ^= 0x01;
    o.sessionTac = EncryptField(plugin.cipher, otherKey);
    refused(o, "SessionTAC does not decrypt to the session key");
    o = out;
    if (apply) {
      std::string otherId = id;
      otherId[0] = 'B';
      o.encId = EncryptField(plugin.cipher, otherId);
      refused(o, "EncID does not decrypt to ID");
    } else {
      std::string otherAccount = account;
      otherAccount[15] ^= 0x01;
      o.encOutAccountNo = EncryptField(plugin.cipher, otherAccount);
      refused(o, "EncOutAccountNo does not decrypt to AccountNo");
    }

    std::string wrongLog = log;
    wrongLog[59] = wrongLog[59] == '0' ? '1' : '0';
    EXPECT_FALSE(server.VerifyTacLogRecord(wrongLog, request, out));
  }
}

TEST(BankServerInput, ValueTacHoldsTheTypedValue) {
  BankServer server(config::kKeyTable, DefaultProfile());
  PluginSide plugin(server);
  const std::string tac123 = EncryptField(plugin.cipher, "123");
  EXPECT_TRUE(server.VerifyValueTac(tac123, "123"));
  EXPECT_FALSE(server.VerifyValueTac(tac123, "124"));
  EXPECT_TRUE(server.VerifyValueTac("", ""));
  EXPECT_FALSE(server.VerifyValueTac(tac123, ""));
  const std::string twenty(20, '7');
  EXPECT_TRUE(server.VerifyValueTac(EncryptField(plugin.cipher, twenty), twenty));
}

// The Key the server hands the page opens write access on the card: the static key, or the
// answer to the card's challenge (DoActiveTAC's RandomNo).
TEST(BankServerActivation, KeyOpensWriteAccess) {
  Profile challengeCard = DefaultProfile();
  challengeCard.authMode = AuthMode::kChallenge;
  for (const Profile& profile : {DefaultProfile(), challengeCard}) {
    BankServer server(config::kKeyTable, profile);
    FiscCard card(profile);
    card.PowerOn();
    Send(card, "00 A4 04 00 08 A0 00 00 01 72 95 00 01 00");
    std::vector<uint8_t> challenge = Send(card, "00 86 00 00 08");
    ASSERT_EQ(challenge.size(), 10u);
    auto key = server.ExternalAuthKey(BytesToHex(challenge.data(), 8));
    ASSERT_TRUE(key);
    EXPECT_EQ(Send(card, "00 82 00 18 08" + *key), Bytes("90 00"));
    EXPECT_TRUE(card.ExternallyAuthenticated());
  }
  EXPECT_EQ(BankServer(config::kKeyTable, DefaultProfile()).ExternalAuthKey(""), "1122334455667788");
  EXPECT_FALSE(BankServer(config::kKeyTable, challengeCard).ExternalAuthKey("0011"));
  EXPECT_EQ(BankServer::PinBlockHex("5678"), "5678FFFFFFFFFFFF");
}

}  // namespace
}  // namespace quilta::sim
