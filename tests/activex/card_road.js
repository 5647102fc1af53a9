// The road of the web-ATM page through the control, on the real PC/SC stack under Wine: run
// by card_host.exe, which embeds the control as `ATM` on a page of the bank's domain (its URL
// over 300 characters long), and `FOREIGN` on a page of another domain, and gives the script
// `rig` for what a page cannot do itself (the bank-server simulator, the person at the
// screen, the card simulator; see card_host.cpp). rig.arg(0) is the simulated card's reader,
// rig.arg(1) the reader with a PIN pad on which the customer types 1234.
// The reader session, the card's data, a wrong and the right PIN, an inquiry; the foreign
// page's control beside the open card session; a transfer whose confirmation (104) wants the
// in-account's last three digits on its keypad and the card pulled and put back before OK; a
// transfer on the PIN-pad reader while the reader instruction (105) is up. The bank judges
// each transaction's outputs.
function check(what, got, want) {
  rig.check(what + " [" + got + "]", got === want);
}

// The bank's inputs of transaction NAME written into the control; they are returned by name.
function bankInputs(name) {
  var prepared = eval("(" + rig.bankPrepare(name) + ")"), inputs = {};
  check("the bank prepared the " + name, prepared && prepared.inputs.length > 0, true);
  for (var i = 0; i < prepared.inputs.length; i++) {
    var property = prepared.inputs[i][0], value = prepared.inputs[i][1];
    ATM[property] = value;
    inputs[property] = value;
  }
  return inputs;
}

function bankJudges(name) {
  var verdict = rig.bankVerify(name, ATM.TAC, ATM.IccSeqNo, ATM.SessionTAC, ATM.EncOutAccountNo);
  rig.check("the bank accepts the " + name + " outputs: " + verdict, /^accepted/.test(verdict));
}

var reader = rig.arg(0), pinpadReader = rig.arg(1);

check("ConnectDriver", ATM.ConnectDriver(), 0);
check("ListReadersName", ATM.ListReadersName(), 0);
check("ReaderCount >= 1", ATM.ReaderCount >= 1, true);
check("Reader0 is the card's reader", ATM.Reader0, reader);
ATM.ReaderName = reader;
check("SetReaderType 1", ATM.SetReaderType("1"), 0);
check("ConnectCard", ATM.ConnectCard(), 0);
check("ReadBasicData", ATM.ReadBasicData(), 0);
check("VerifyPIN with a wrong PIN", ATM.VerifyPIN("0000"), 5031);
check("VerifyPIN", ATM.VerifyPIN("1234"), 0);

bankInputs("inquiry");
check("DoInquiryTAC", ATM.DoInquiryTAC("1234"), 0);
check("ErrorInfo after DoInquiryTAC", ATM.ErrorInfo, "Command successful. (0)");
bankJudges("inquiry");

// The foreign page's control in the same process, the card session open: it reaches neither
// the card nor what the bank's page reads, and the session stays the bank page's.
var cardNo = ATM.CardNo, tac = ATM.TAC, errorInfo = ATM.ErrorInfo;
check("the card's number read", cardNo.length > 0, true);
check("FOREIGN ReadBasicData", FOREIGN.ReadBasicData(), 5004);
check("FOREIGN VerifyPIN", FOREIGN.VerifyPIN("1234"), 5004);
check("FOREIGN DoInquiryTAC", FOREIGN.DoInquiryTAC("1234"), 5004);
check("FOREIGN DisconnectCard", FOREIGN.DisconnectCard(), 5004);
check("FOREIGN CardNo", typeof FOREIGN.CardNo, "undefined");
check("FOREIGN TAC", typeof FOREIGN.TAC, "undefined");
check("FOREIGN ErrorInfo", typeof FOREIGN.ErrorInfo, "undefined");
FOREIGN.ReaderName = pinpadReader;
FOREIGN.ReaderType = 2;
check("ReaderName after the foreign page's write", ATM.ReaderName, reader);
check("ReaderType after the foreign page's write", ATM.ReaderType, 1);
check("ErrorInfo after the foreign page", ATM.ErrorInfo, errorInfo);
check("TAC after the foreign page", ATM.TAC, tac);
check("ReadBasicData: the card session still open", ATM.ReadBasicData(), 0);
check("CardNo", ATM.CardNo, cardNo);

// On the same reader: OK of the confirmation is usable only after the in-account's last three
// digits were typed and the card was pulled and put back.
var transfer = bankInputs("transfer");
check("the transfer's in-account", transfer.InAccountNo.length >= 3, true);
rig.customer("confirmation", "shot 104-real; ok disabled; keys " + transfer.InAccountNo.slice(-3) +
             "; card out and in; ok enabled; shot 104-ready; click ok");
check("DoTransferTAC confirmed", ATM.DoTransferTAC("1234"), 0);
check("the customer at the confirmation", rig.customerDone(), "");
check("ErrorInfo after DoTransferTAC", ATM.ErrorInfo, "Command successful. (0)");
bankJudges("transfer");

// On the PIN-pad reader the PIN is typed on the pad while the reader instruction is up.
ATM.ReaderName = pinpadReader;
check("SetReaderType 2", ATM.SetReaderType("2"), 0);
check("ConnectCard on the PIN-pad reader", ATM.ConnectCard(), 0);
bankInputs("pinpad");
rig.customer("reader instruction", "shot 105-pinpad");
check("DoTransferTAC on the PIN-pad reader", ATM.DoTransferTAC(""), 0);
check("the customer at the reader instruction", rig.customerDone(), "");
bankJudges("pinpad");
