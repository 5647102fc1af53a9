// The host's requests: JSON in, the script layer's answer out. One table, run in order on
// one core (later rows see what earlier ones wrote), on the in-process reader without a
// card; the card road itself runs in the browser tests on the real stack. A request without
// an "origin" of its own is sent as from the bank's page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/atm_core.h"
#include "nmhost/bridge.h"
#include "testsupport/virtual_pcsc.h"
#include "quilta_config.h"

namespace quilta::nmhost {
namespace {

struct Row {
  std::string request;
  std::string answer;  // the whole answer, or only the error code when it starts with '!'
};

class BridgeTest : public ::testing::Test {
 protected:
  BridgeTest() {
    core.channel().pcsc = &pcsc;
    core.channel().sleeper = &sleeper;
  }
  static std::string FromBankPage(const std::string& request) {
    if (!request.starts_with("{\"") || request.find("\"origin\"") != std::string::npos) return request;
    return R"({"origin":"https://www.)" + std::string(config::kBankDomain) + R"(/atm/",)" +
           request.substr(1);
  }
  // `asSent`: the requests go as they are, without the bank's origin.
  void Run(const std::vector<Row>& rows, bool asSent = false) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.request);
      const std::string got = bridge.Answer(asSent ? row.request : FromBankPage(row.request));
      if (row.answer.starts_with('!')) {
        std::optional<Json> a = ParseJson(got);
        ASSERT_TRUE(a) << got;
        const Json* error = a->Find("error");
        ASSERT_TRUE(error && error->Find("code")) << got;
        EXPECT_EQ(error->Find("code")->string, row.answer.substr(1)) << got;
      } else {
        EXPECT_EQ(got, row.answer);
      }
    }
  }

  platform::VirtualPcsc pcsc;
  platform::VirtualSleeper sleeper;
  CAtmCore core;
  Bridge bridge{core};
};

TEST_F(BridgeTest, RequestsAnsweredAsThePluginAnswersItsScript) {
  const std::string bank = std::string("https://www.") + config::kBankDomain + "/atm/";
  Run({
      // Ids of either kind come back as they were sent.
      {R"({"id":1,"op":"call","name":"GetComVersion"})", R"({"id":1,"result":"1,0,0,1"})"},
      {R"({"id":"p-7","op":"get","name":"ErrorInfo"})", R"({"id":"p-7","result":""})"},
      {R"({"id":2.5,"op":"get","name":"ReaderCount"})", R"({"id":2.5,"result":0})"},
      {R"({"id":1e300,"op":"get","name":"AccountNo0"})", R"({"id":1e+300,"result":"0000000000000000"})"},
      // Requests that cannot be read; without a readable id the answer's id is null.
      {"not json", R"(!bad-request)"},
      {R"([1,2])", R"(!bad-request)"},
      {R"({"op":"get","name":"ErrorInfo"})", R"(!bad-request)"},
      {R"({"id":{},"op":"get","name":"ErrorInfo"})", R"(!bad-request)"},
      {R"({"id":3,"op":"put","name":"ErrorInfo"})", R"(!bad-request)"},
      {R"({"id":3,"name":"ErrorInfo"})", R"(!bad-request)"},
      {R"({"id":3,"op":"get","name":7})", R"(!bad-request)"},
      {R"({"id":3,"op":"call","name":"VerifyPIN","args":"1234"})", R"(!bad-request)"},
      {R"({"id":3,"op":"call","name":"ConnectCard","origin":1})", R"(!bad-request)"},
      {"{\"id\":3,\"op\":\"get\",\"name\":\"\xFF\"}", R"(!bad-request)"},
      // Names: exactly the members of this surface.
      {R"({"id":4,"op":"call","name":"NoSuchMethod"})", R"(!unknown-member)"},
      {R"({"id":4,"op":"call","name":"DoAccessibleInquiryTAC","args":["1234"]})", R"(!unknown-member)"},
      {R"({"id":4,"op":"get","name":"errorinfo"})", R"(!unknown-member)"},
      {R"({"id":4,"op":"get","name":""})", R"(!unknown-member)"},
      {R"({"id":4,"op":"call","name":"ErrorInfo"})", R"(!not-a-method)"},
      {R"({"id":4,"op":"get","name":"ConnectCard"})", R"(!not-a-property)"},
      {R"({"id":4,"op":"set","name":"ConnectCard","args":[1]})", R"(!not-a-property)"},
      // Property reads and writes.
      {R"({"id":5,"op":"get","name":"SessionKey"})", R"({"id":5,"result":null})"},
      {R"({"id":5,"op":"set","name":"ReaderName","args":["\u8b80\u5361\u6a5f A"]})", R"({"id":5,"result":true})"},
      {R"({"id":5,"op":"get","name":"ReaderName"})", "{\"id\":5,\"result\":\"\xE8\xAE\x80\xE5\x8D\xA1\xE6\xA9\x9F A\"}"},
      {R"({"id":5,"op":"set","name":"ReaderName","args":[12.50]})", R"({"id":5,"result":true})"},
      {R"({"id":5,"op":"get","name":"ReaderName"})", R"({"id":5,"result":"12.5"})"},
      {R"({"id":5,"op":"set","name":"ReaderName","args":[true]})", R"({"id":5,"result":false})"},
      {R"({"id":6,"op":"set","name":"ReaderType","args":[2]})", R"({"id":6,"result":true})"},
      {R"({"id":6,"op":"set","name":"ReaderType","args":[2.5]})", R"({"id":6,"result":false})"},
      {R"({"id":6,"op":"set","name":"ReaderType","args":["3"]})", R"({"id":6,"result":false})"},
      {R"({"id":6,"op":"set","name":"ReaderType","args":[null]})", R"({"id":6,"result":false})"},
      {R"({"id":6,"op":"set","name":"ReaderType"})", R"({"id":6,"result":false})"},
      {R"({"id":6,"op":"get","name":"ReaderType"})", R"({"id":6,"result":2})"},
      {R"({"id":6,"op":"set","name":"ErrorInfo","args":["x"]})", R"({"id":6,"result":false})"},
      // Method arguments: numbers as JavaScript prints them, other values missing, extra ones
      // ignored.
      {R"({"id":7,"op":"call","name":"VerifyPIN"})", R"({"id":7,"result":6002})"},
      {R"({"id":7,"op":"call","name":"VerifyPIN","args":[null]})", R"({"id":7,"result":6002})"},
      {R"({"id":7,"op":"call","name":"VerifyPIN","args":[["1234"]]})", R"({"id":7,"result":6002})"},
      {R"({"id":7,"op":"get","name":"ErrorInfo"})", R"j({"id":7,"result":" para input error. (6002)"})j"},
      {R"({"id":7,"op":"call","name":"SetReaderType","args":[]})", R"({"id":7,"result":5042})"},
      {R"({"id":7,"op":"call","name":"SetReaderType","args":[3,"extra",{}]})", R"({"id":7,"result":0})"},
      {R"({"id":7,"op":"get","name":"ReaderType"})", R"({"id":7,"result":3})"},
  });
  // A page of the bank's domain reaches the card engine (here: no context, so PC/SC's
  // answer, not 5004).
  const std::string answer = bridge.Answer(FromBankPage(R"({"id":9,"op":"call","name":"ConnectCard"})"));
  EXPECT_NE(answer, R"({"id":9,"result":5004})");
  EXPECT_TRUE(answer.starts_with(R"({"id":9,"result":)")) << answer;
}

// Every request is judged by the page it comes from: a page that is not the bank's (or no
// page) gets the version and nothing else, even after the bank's page wrote and called.
TEST_F(BridgeTest, ARequestFromAPageThatIsNotTheBanksReachesOnlyTheVersion) {
  Run({{R"({"id":1,"op":"set","name":"ReaderName","args":["A"]})", R"({"id":1,"result":true})"},
       {R"({"id":1,"op":"call","name":"VerifyPIN"})", R"({"id":1,"result":6002})"}});
  const std::string domain = config::kBankDomain;
  for (const std::string& origin :
       {R"(,"origin":"https://evil.test/?u=https://)" + domain + R"(/")",
        R"(,"origin":"http://)" + domain + R"(/atm/")", std::string()}) {
    if (config::kAllowPlainHttp && origin.find("http:") != std::string::npos) continue;
    SCOPED_TRACE(origin);
    Run({
        {R"({"id":2,"op":"call","name":"GetComVersion")" + origin + "}", R"({"id":2,"result":"1,0,0,1"})"},
        {R"({"id":3,"op":"call","name":"ConnectDriver")" + origin + "}", R"({"id":3,"result":5004})"},
        {R"({"id":3,"op":"call","name":"DoInput")" + origin + "}", R"({"id":3,"result":5004})"},
        {R"({"id":4,"op":"get","name":"ReaderName")" + origin + "}", R"({"id":4,"result":null})"},
        {R"({"id":4,"op":"get","name":"ErrorInfo")" + origin + "}", R"({"id":4,"result":null})"},
        {R"({"id":5,"op":"set","name":"ReaderName","args":["B"])" + origin + "}", R"({"id":5,"result":false})"},
        // Names still answer as they do for the bank's page, so a page can detect the host.
        {R"({"id":6,"op":"call","name":"NoSuchMethod")" + origin + "}", R"(!unknown-member)"},
    }, true);
  }
  Run({{R"({"id":7,"op":"get","name":"ReaderName"})", R"({"id":7,"result":"A"})"},
       {R"({"id":7,"op":"get","name":"ErrorInfo"})", R"j({"id":7,"result":" para input error. (6002)"})j"}});
  EXPECT_TRUE(pcsc.Log().empty()) << "nothing reached PC/SC";
}

TEST_F(BridgeTest, DuringADialogCallsAndWritesAreRefusedAndReadsAnswered) {
  Run({{R"({"id":1,"op":"call","name":"VerifyPIN"})", R"({"id":1,"result":6002})"}});
  ui::ModalScope dialog(core.modalHost());
  Run({
      {R"({"id":2,"op":"call","name":"ConnectDriver"})", R"({"id":2,"result":6009})"},
      {R"({"id":3,"op":"set","name":"ReaderName","args":["A"]})", R"({"id":3,"result":false})"},
      {R"({"id":4,"op":"get","name":"ErrorInfo"})", R"j({"id":4,"result":" para input error. (6002)"})j"},
  });
  EXPECT_TRUE(pcsc.Log().empty()) << "nothing reached PC/SC";
}

}  // namespace
}  // namespace quilta::nmhost
