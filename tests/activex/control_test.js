// The control as a page script sees it, under Windows Script Host (cscript) after regsvr32.
// Texts are compared here, not on the console (it prints in the ANSI code page).
// Prints "ALL PASSED" as its last line when every check passed (the host answers a script
// error with exit code 0 too, so the runner looks for the line).
var failures = 0;
function check(what, got, want) {
  if (got !== want) {
    failures++;
    WScript.Echo("FAIL " + what + ": got [" + got + "], want [" + want + "]");
  }
}
function throws(f) {
  try { f(); } catch (e) { return true; }
  return false;
}

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

var atm = new ActiveXObject("TOVAK.ZELB");
var versioned = new ActiveXObject("TOVAK.ZELB.1");

check("GetComVersion", atm.GetComVersion(), "1,0,0,1");
// Defaults, and one core shared by every control of the process.
check("AccountNo5", atm.AccountNo5, "0000000000000000");
check("aAuthInAccountNo0", atm.aAuthInAccountNo0, "000000000000000000000000");
check("aSetData", atm.aSetData, "N");
check("Reader3", atm.Reader3, "");
check("ReaderCount", atm.ReaderCount, 0);
atm.aSetData = "Y";
check("shared core", versioned.aSetData, "Y");

// TACLog5: the write succeeds and changes nothing.
check("TACLog5 write", throws(function () { atm.TACLog5 = "123"; }), false);
check("TACLog5", atm.TACLog5, "");
// Read-only properties refuse writes.
check("Reader0 write", throws(function () { atm.Reader0 = "x"; }), true);
// ID, CTelNo and ApplyType read empty or 0 whatever was written.
atm.ID = "A123456789";
check("ID", atm.ID, "");
atm.CTelNo = "0223456789";
check("CTelNo", atm.CTelNo, "");
atm.ApplyType = 7;
check("ApplyType", atm.ApplyType, 0);
// Write-only properties cannot be read.
check("SessionKey read", throws(function () { return atm.SessionKey; }), true);
// Names are matched with case.
var lower;
try { lower = atm.errorinfo; } catch (e) { lower = "refused"; }
check("errorinfo", lower === atm.ErrorInfo, false);

// UTF-16 texts round-trip: non-ASCII, a character beyond U+FFFF, and a lone surrogate,
// which becomes U+FFFD.
var name = "\u8b80\u5361\u6a5f \ud840\udc0b";
atm.ReaderName = name;
check("ReaderName", atm.ReaderName, name);
atm.ReaderName = "x\ud800y";
check("lone surrogate", atm.ReaderName, "x\ufffdy");
// Over 100 bytes of the 8-bit form: dropped, the old value stays.
atm.ReaderName = "R";
var long = "";
for (var i = 0; i < 101; i++) long += "a";
atm.ReaderName = long;
check("ReaderName over limit", atm.ReaderName, "R");
atm.ReaderType = 2;
check("ReaderType", atm.ReaderType, 2);
atm.ReaderType = 3.0;
check("ReaderType whole double", atm.ReaderType, 3);

// Statuses and ErrorInfo.
check("VerifyPIN missing", atm.VerifyPIN(), 6002);
check("ErrorInfo 6002", atm.ErrorInfo, " para input error. (6002)");
check("SetReaderType missing", atm.SetReaderType(), 5042);
check("ErrorInfo 5042", atm.ErrorInfo, "ReaderType is not valid. (5042)");
// No client site, so no page URL: ConnectCard is refused without a card call.
check("ConnectCard", atm.ConnectCard(), 5004);
check("ErrorInfo 5004", atm.ErrorInfo, "IE Url No Support! (5004)");
check("ChangePIN one missing", atm.ChangePIN("1234"), 6002);
// The accessible variants exist only on this surface (ReaderType 0 stops them before any
// card call: 5042).
atm.ReaderType = 0;
check("DoAccessibleInquiryTAC", atm.DoAccessibleInquiryTAC("1234"), 5042);
check("DoAccessibleTransferTAC", atm.DoAccessibleTransferTAC("1234"), 5042);
check("unknown method", throws(function () { atm.NoSuchMethod(); }), true);

if (failures == 0) WScript.Echo("ALL PASSED");
WScript.Quit(failures == 0 ? 0 : 1);
