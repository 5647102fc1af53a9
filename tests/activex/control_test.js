// The control as page scripts see it, in two hosts:
//  - Windows Script Host (cscript, after regsvr32; test activex_control): the registration,
//    and controls made with new ActiveXObject. Such a control has no client site, so no page:
//    it answers GetComVersion and nothing else.
//  - the tests' script host (card_host.exe; test activex_page), which embeds the controls as a
//    page's container does: ATM on a page of the bank's domain whose URL is over 300
//    characters long, ATM2 on another of the bank's pages, FOREIGN on a page of another
//    domain (card_host.cpp). The members on the bank's pages, and what a foreign page beside
//    them can do to them: nothing.
// Texts are compared here, not on the console (cscript prints in the ANSI code page).
// Prints "ALL PASSED" as its last line when every check passed (cscript answers a script
// error with exit code 0 too, so the runner looks for the line; the script host prints it
// itself).
var underWsh = typeof WScript != "undefined";
var failures = 0;
function check(what, got, want) {
  if (!underWsh) {
    rig.check(what + " [" + got + "]", got === want);
  } else if (got !== want) {
    failures++;
    WScript.Echo("FAIL " + what + ": got [" + got + "], want [" + want + "]");
  }
}
function throws(f) {
  try { f(); } catch (e) { return true; }
  return false;
}

// Every method but GetComVersion, with arguments enough for each.
var methods = ["ConnectDriver", "DisconnectDriver", "ListReadersName", "CheckCardInsert",
  "ConnectCard", "DisconnectCard", "CheckCardChange", "ReadBasicData", "ReadAuthInAcctNo",
  "SetReaderType", "VerifyPIN", "ChangePIN", "DoLoginTAC", "DoInquiryTAC", "DoTransferTAC",
  "DoPayTaxTAC", "DoPayFeeTAC", "ReadTACLog", "GetAtmCode", "DoPayMoneyTAC", "DoActiveTAC",
  "SetCardActive", "DoApplyTAC", "DoInput", "SetPinActive", "SetCardData", "DoNBTransferTAC",
  "DoAccessibleInquiryTAC", "DoAccessibleTransferTAC"];
// Properties of every kind: texts read-only and read-write, integers, write-only, and the
// ones with rules of their own.
var properties = ["ErrorInfo", "Reader0", "ReaderCount", "ReaderName", "ReaderType", "CardNo",
  "TAC", "aSetData", "AccountNo5", "SessionKey", "TACLog5", "ID", "ApplyType"];

// A control off the bank's pages: the version, 5004 from every other method, nothing
// (undefined) from every read, and writes taken without an error.
function offThePage(name, control) {
  check(name + " GetComVersion", control.GetComVersion(), "1,0,0,1");
  for (var i = 0; i < methods.length; i++)
    check(name + " " + methods[i], control[methods[i]]("1", "2", "3"), 5004);
  for (var i = 0; i < properties.length; i++) {
    check(name + " " + properties[i] + " write",
          throws(function () { control[properties[i]] = "1"; }), false);
    check(name + " " + properties[i] + " read", typeof control[properties[i]], "undefined");
  }
}

if (underWsh) {
  // Registration: the keys, CurVer, the ProgID naming the CLSID.
  var sh = new ActiveXObject("WScript.Shell");
  var clsid = "{E2F2FDAB-089C-4512-BA8B-DC725FED3640}";
  var key = "HKCR\\CLSID\\" + clsid + "\\";
  check("TOVAK.ZELB", sh.RegRead("HKCR\\TOVAK.ZELB\\"), "ZELB Class");
  check("TOVAK.ZELB\\CurVer", sh.RegRead("HKCR\\TOVAK.ZELB\\CurVer\\"), "TOVAK.ZELB.1");
  check("TOVAK.ZELB\\CLSID", sh.RegRead("HKCR\\TOVAK.ZELB\\CLSID\\"), clsid);
  check("TOVAK.ZELB.1", sh.RegRead("HKCR\\TOVAK.ZELB.1\\"), "ZELB Class");
  check("TOVAK.ZELB.1\\CLSID", sh.RegRead("HKCR\\TOVAK.ZELB.1\\CLSID\\"), clsid);
  check("CLSID", sh.RegRead(key), "ZELB-accessible Class");
  check("ProgID", sh.RegRead(key + "ProgID\\"), "TOVAK.ZELB.1");
  check("VersionIndependentProgID", sh.RegRead(key + "VersionIndependentProgID\\"), "TOVAK.ZELB");
  check("ThreadingModel", sh.RegRead(key + "InprocServer32\\ThreadingModel"), "Apartment");
  var module = sh.RegRead(key + "InprocServer32\\");
  check("InprocServer32", /npquilta\.dll$/i.test(module), true);
  check("ToolboxBitmap32", sh.RegRead(key + "ToolboxBitmap32\\"), module + ", 101");
  check("MiscStatus", sh.RegRead(key + "MiscStatus\\"), "0");
  check("MiscStatus\\1", sh.RegRead(key + "MiscStatus\\1\\"), "131473");
  check("TypeLib", sh.RegRead(key + "TypeLib\\"), "{B65DBDDC-D46C-4AF0-90FD-2BE777BA9232}");
  check("Version", sh.RegRead(key + "Version\\"), "1.0");
  // (The keys without values, Control, Programmable and Insertable: host_test.cpp.)

  // Without a site: on no page. Names still resolve (a page can tell the control is there);
  // an unknown one does not.
  offThePage("new ActiveXObject", new ActiveXObject("TOVAK.ZELB"));
  var versioned = new ActiveXObject("TOVAK.ZELB.1");
  check("TOVAK.ZELB.1 GetComVersion", versioned.GetComVersion(), "1,0,0,1");
  check("TOVAK.ZELB.1 ConnectCard", versioned.ConnectCard(), 5004);
  check("unknown method", throws(function () { versioned.NoSuchMethod(); }), true);

  if (failures == 0) WScript.Echo("ALL PASSED");
  WScript.Quit(failures == 0 ? 0 : 1);
}

// ---- On the bank's pages (the script host) ----

// Reads as script values (the defaults themselves are the core's), and one core shared by
// the controls of the process.
check("aSetData", ATM.aSetData, "N");
check("Reader3", ATM.Reader3, "");
check("ReaderCount", ATM.ReaderCount, 0);
ATM.aSetData = "Y";
check("shared core", ATM2.aSetData, "Y");

// TACLog5: the write succeeds and changes nothing.
check("TACLog5 write", throws(function () { ATM.TACLog5 = "123"; }), false);
check("TACLog5", ATM.TACLog5, "");
// Read-only properties refuse writes.
check("Reader0 write", throws(function () { ATM.Reader0 = "x"; }), true);
// Write-only properties cannot be read.
check("SessionKey read", throws(function () { return ATM.SessionKey; }), true);
// Names are matched with case.
var lower;
try { lower = ATM.errorinfo; } catch (e) { lower = "refused"; }
check("errorinfo", lower === ATM.ErrorInfo, false);

// UTF-16 texts round-trip: non-ASCII, a character beyond U+FFFF, and a lone surrogate,
// which becomes U+FFFD.
var name = "\u8b80\u5361\u6a5f \ud840\udc0b";
ATM.ReaderName = name;
check("ReaderName", ATM.ReaderName, name);
ATM.ReaderName = "x\ud800y";
check("lone surrogate", ATM.ReaderName, "x\ufffdy");
ATM.ReaderName = "R";
ATM.ReaderType = 2;
check("ReaderType", ATM.ReaderType, 2);
ATM.ReaderType = 3.0;
check("ReaderType whole double", ATM.ReaderType, 3);

// Statuses and ErrorInfo.
check("VerifyPIN missing", ATM.VerifyPIN(), 6002);
check("ErrorInfo 6002", ATM.ErrorInfo, " para input error. (6002)");
check("SetReaderType missing", ATM.SetReaderType(), 5042);
check("ErrorInfo 5042", ATM.ErrorInfo, "ReaderType is not valid. (5042)");
// The page check passes on the bank's page with its long URL (no card here: PC/SC answers).
var connect = ATM.ConnectCard();
check("ConnectCard passes the page check (" + connect + ")", connect !== 5004 && connect !== 0, true);
check("ChangePIN one missing", ATM.ChangePIN("1234"), 6002);
// The accessible variants exist only on this surface (ReaderType 0 stops them before any
// card call: 5042).
ATM.ReaderType = 0;
check("DoAccessibleInquiryTAC", ATM.DoAccessibleInquiryTAC("1234"), 5042);
check("DoAccessibleTransferTAC", ATM.DoAccessibleTransferTAC("1234"), 5042);
check("unknown method", throws(function () { ATM.NoSuchMethod(); }), true);

// ---- A foreign page in the same process ----
// Its control learns the version and nothing else, and changes nothing the bank's pages
// read: not the properties it writes, not ErrorInfo.
ATM.ReaderName = "R";
ATM.ReaderType = 2;
ATM.aSetData = "Y";
check("VerifyPIN missing, again", ATM.VerifyPIN(), 6002);
offThePage("FOREIGN", FOREIGN);
check("ReaderName after the foreign page", ATM.ReaderName, "R");
check("ReaderType after the foreign page", ATM.ReaderType, 2);
check("aSetData after the foreign page", ATM.aSetData, "Y");
check("ErrorInfo after the foreign page", ATM.ErrorInfo, " para input error. (6002)");
