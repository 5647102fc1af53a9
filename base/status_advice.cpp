#include "base/status.h"

namespace quilta {
namespace {

// The page's side of each status (PageAdvice). Own statuses in order, then the dialog end
// codes that reach the page through the table, then card status words and PC/SC results.
constexpr StatusAdvice kAdvice[] = {
    {status::kNoService, status::kNoService,
     "電腦上的晶片讀卡機服務未啟動，請確認讀卡機程式已安裝後再試一次。",
     "The smart-card service on this computer is not running: check that the card reader "
     "software is installed, then try again.",
     "`ConnectDriver` again when the customer is ready, then the road from "
     "`ListReadersName`. On Linux the service is pcscd; the help desk's check is "
     "`quilta-doctor` (`install.md`)."},
    {status::kNoReaders, status::kNoReaders,
     "找不到讀卡機，請將讀卡機接上電腦後再試一次。",
     "No card reader was found: connect the reader to the computer and try again.",
     "`ListReadersName` again (the context stays open), then offer the readers."},
    {status::kIllegalAccess, status::kIllegalAccess,
     "系統發生錯誤，請重新整理網頁後再試一次。",
     "Something went wrong: reload the page and try again.",
     "The call failed inside the plug-in before it had a status of its own. Reload the page "
     "and start again from `ConnectDriver`; report it with the method's name."},
    {status::kUrlNotSupported, status::kUrlNotSupported,
     "請由本行網路ATM網頁進行交易。",
     "Please use the bank's web-ATM pages for this.",
     "Nothing ran and `ErrorInfo` is unchanged: the object's page is not an https page of the "
     "bank's domain (or it has no page: a control made with `new ActiveXObject`). A fault of "
     "the page's address, not the customer's: serve the page from the bank's https domain."},
    {status::kInvalidHandleFromContext, status::kInvalidHandleFromContext,
     "無法連接晶片讀卡機服務，請重新啟動電腦後再試一次。",
     "The smart-card service could not be reached: restart the computer and try again.",
     "`ConnectDriver` again; when it keeps failing, the help desk."},
    {status::kUnknownReader, status::kUnknownReader,
     "找不到您選擇的讀卡機，請確認讀卡機已接好，再重新選擇。",
     "The card reader you chose cannot be found: check that it is connected and choose it "
     "again.",
     "`ListReadersName`, the customer's choice into `ReaderName`, `SetReaderType`, then "
     "`CheckCardInsert` and `ConnectCard`: the card session on the old reader is gone."},
    {status::kCardNotInserted, status::kCardNotInserted,
     "請將晶片金融卡插入讀卡機。",
     "Please insert your chip card into the reader.",
     "Wait for the customer (`CheckCardInsert` answers at once: `ReaderInsert` \"Y\" when a "
     "card is in), then `ConnectCard`."},
    {status::kCardLocked, status::kCardLocked,
     "晶片卡正由其他程式使用中，請關閉其他使用讀卡機的程式或網頁後再試一次。",
     "The card is being used by another program: close the other programs or pages that use "
     "the card reader, then try again.",
     "`ConnectCard` again when the customer says so."},
    {status::kCardNotConnected, status::kCardNotConnected,
     "晶片卡未連線，請將晶片卡重新插入後再試一次。",
     "The card is not connected: take it out, put it back in and try again.",
     "`ConnectCard`, `ReadBasicData`, `VerifyPIN`, then the call again. From a transaction's "
     "confirmation (no card in the reader three times) nothing was sent for the TAC: the "
     "same, then the transaction with the inputs it had."},
    {status::kPinError, status::kPinError,
     "密碼錯誤，請重新輸入。密碼連續輸錯3次，晶片卡將被鎖住。",
     "Wrong PIN, please enter it again. After three wrong PINs in a row the card is locked.",
     "Ask for the PIN again and repeat the same call: the inputs written before are still "
     "there and no TAC was made. The card counts the wrong PINs; the plug-in cannot tell how "
     "many tries are left."},
    {status::kPinBlocked, status::kPinBlocked,
     "晶片卡密碼已連續輸錯3次而鎖住，請洽發卡銀行辦理密碼解鎖。",
     "Your card is locked after three wrong PINs: please ask the bank that issued it to "
     "unlock it.",
     "Stop and `DisconnectCard`: no call of the page unlocks the card (see \"A locked card\" "
     "in `README.md`)."},
    {status::kPinNotVerified, status::kPinNotVerified,
     "請先輸入晶片卡密碼。",
     "Please enter your card's PIN first.",
     "`VerifyPIN`, then the call again. A PIN verified before the last `ConnectCard` does not "
     "count."},
    {status::kNotBankServer, status::kNotBankServer,
     "交易安全驗證失敗，請重新登入網路ATM後再試一次。",
     "The transaction's security check failed: please log in to the web ATM again.",
     "Get a fresh `nono` and `SessionKey` from the bank's server, write them and repeat the "
     "method. When it persists the page or the server is at "
     "fault (lower-case hex, a `nono` and `SessionKey` of different sessions, another key "
     "table: `server.md`); log it."},
    {status::kCardChanged, status::kCardChanged,
     "晶片卡已被抽出或更換，請插入原來的晶片卡後重新操作。",
     "The card was taken out or changed: put your own card back in and start again.",
     "`ConnectCard`, `ReadBasicData`; compare `CardNo` with the card the customer logged in "
     "with and end the session when it differs; `VerifyPIN`, then the transaction again. "
     "After a transaction's 5035 the card data properties already hold the card now in the "
     "reader."},
    {status::kUserCancel, status::kUserCancel,
     "您已取消交易。",
     "You cancelled the transaction.",
     "Nothing to repeat unless the customer asks; a repeated call shows its dialog anew. "
     "5036 is also the answer when a PIN-pad reader's own time ran out in `VerifyPIN` or "
     "`ChangePIN`, and when the plug-in could not show its dialog on a plain reader (or "
     "`DoInput`'s keypad): a customer who saw no window has a set-up fault (`install.md`)."},
    {status::kConfirmTimeout, status::kConfirmTimeout,
     "交易確認逾時，請重新操作。",
     "The time to confirm ran out: please start again.",
     "The same call again when the customer is ready: a plain reader's confirmation starts "
     "its countdown anew, a PIN-pad reader its own time."},
    {status::kNoSuchAccount, status::kNoSuchAccount,
     "此帳號不是您晶片卡上的帳號，請重新選擇轉出帳號。",
     "This account is not on your card: please choose the paying account again.",
     "Offer `AccountNo0`..`AccountNo7` (the transaction read them again), have the server "
     "prepare the transaction for the chosen account, write `AccountNo` and call again."},
    {status::kBadReaderName, status::kBadReaderName,
     "請先選擇讀卡機。",
     "Please choose your card reader first.",
     "`ListReadersName`, the customer's choice into `ReaderName`, then the call again."},
    {status::kBadReaderType, status::kBadReaderType,
     "請先選擇您使用的讀卡機種類。",
     "Please tell us which kind of card reader you use.",
     "Ask the customer (\"Reader types\" in `README.md`), `SetReaderType(1, 2 or 3)`, then the "
     "call again."},
    {status::kBadSessionKey, status::kBadSessionKey,
     "交易資料有誤，請重新登入網路ATM後再試一次。",
     "The transaction data is not valid: please log in to the web ATM again.",
     "Write `nono` (48 digits) and `SessionKey` (32 upper-case hex digits) as the server "
     "sent them and repeat the method; when it persists the page or the server is at "
     "fault (`server.md`)."},
    {status::kBadFdId, status::kBadMerchantId,
     "交易資料有誤，請重新操作。",
     "The transaction data is not valid: please start again.",
     "The input the text names is not of its width (`methods.md`): a fault of the page or "
     "the server, never of the customer. Log the status, ask the server for the transaction "
     "again and write its inputs as sent."},
    {status::kKeypadTampered, status::kKeypadTampered,
     "輸入資料驗證失敗，為保障交易安全，請重新操作。",
     "The entry failed its security check: please start again.",
     "The keypad's entry was changed by something other than the keypad. `Value` and "
     "`ValueTAC` are the earlier ones: do not use them. Log it; `DoInput` may be called "
     "again."},
    {status::kBadId, status::kBadId,
     "交易資料有誤，請重新操作。",
     "The transaction data is not valid: please start again.",
     "`DoApplyTAC`: `ID` was never written, or is not 16 bytes after the write (a double-byte "
     "character cut). A fault of the page or the server: write `ID` as sent."},
    {status::kBadParameter, status::kBadParameter,
     "輸入的資料格式不正確，請確認後重新輸入。",
     "What was entered is not in the right form: please check it and enter it again.",
     "A method that takes a PIN: the PIN is missing, empty, over 16 characters or (reader "
     "types 1 and 3) not digits 0-9 (or A-F): ask for it again; nothing reached the card. "
     "Otherwise an input of the wrong form (`CTelNo`, `Key`, `aPIN`, the account lists, "
     "`GetAtmCode`'s arguments): a fault of the page or the server."},
    {status::kBusy, status::kBusy,
     "交易處理中，請稍候。",
     "A transaction is in progress, please wait.",
     "Another call is waiting on the customer in one of the plug-in's windows; this call did "
     "nothing and `ErrorInfo` still holds the other call's text. Wait until that call "
     "returns, then make this one again (better: make no calls while one runs)."},
    {dialog_end::kOk, dialog_end::kOk,
     "交易未完成，請重新操作。",
     "The transaction was not completed: please start again.",
     "The customer pressed Enter in a PIN-pad reader's window before it sent anything: "
     "nothing reached the card. As 5036."},
    {dialog_end::kCancel, dialog_end::kCancel,
     "您已取消交易。",
     "You cancelled the transaction.",
     "Esc or the close box at the PIN-pad reader's window that shows the transaction's rows "
     "(transfers and payments): as 5036."},
    {dialog_end::kNotShown, dialog_end::kNotShown,
     "無法顯示交易確認視窗，請洽本行客服人員。",
     "The confirmation window could not be shown: please call our customer service.",
     "A PIN-pad reader's window could not be shown; nothing was sent to the card. A set-up "
     "fault of this computer (no display, the dialog helper missing): the help desk runs "
     "`quilta-doctor` (`install.md`)."},
    {0x6A82, 0x6A82,
     "此卡片不是晶片金融卡，請插入晶片金融卡。",
     "This is not a chip bank card: please insert your chip bank card.",
     "From `ConnectCard`: the card has no financial application. `ConnectCard` again once the "
     "customer changed cards."},
    {static_cast<int32_t>(0x80100003u), static_cast<int32_t>(0x80100003u),
     "晶片卡未連線，請將晶片卡重新插入後再試一次。",
     "The card is not connected: take it out, put it back in and try again.",
     "A card call with no card connected (never, or since `DisconnectCard`; on Windows this "
     "reads 5021): `ConnectCard`, `VerifyPIN`, then the call again."},
    {static_cast<int32_t>(0x80100017u), static_cast<int32_t>(0x80100017u),
     "讀卡機無法使用，請確認讀卡機已接好後再試一次。",
     "The card reader cannot be used: check that it is connected and try again.",
     "As 5012: `ListReadersName`, the customer's choice, `ConnectCard`."},
    {static_cast<int32_t>(0x8010001Eu), static_cast<int32_t>(0x8010001Eu),
     "電腦上的晶片讀卡機服務已停止，請稍後再試一次。",
     "The smart-card service on this computer has stopped: please try again in a moment.",
     "`ConnectDriver` and the whole road again: the context is gone."},
    {static_cast<int32_t>(0x8010002Fu), static_cast<int32_t>(0x8010002Fu),
     "讀卡機與晶片卡通訊失敗，請將晶片卡重新插入後再試一次。",
     "The reader could not talk to the card: take the card out, put it back in and try "
     "again.",
     "The card's answer was cut short (a TAC answer under 19 bytes, no challenge for "
     "`DoActiveTAC`); the outputs are the earlier ones. `ConnectCard`, `VerifyPIN`, then the "
     "method again."},
    {static_cast<int32_t>(0x80100066u), static_cast<int32_t>(0x80100066u),
     "晶片卡連線中斷，請將晶片卡重新插入後再試一次。",
     "The connection to the card was lost: take it out, put it back in and try again.",
     "The card lost its power: `ConnectCard`, `VerifyPIN`, then the call again."},
    {static_cast<int32_t>(0x80100068u), static_cast<int32_t>(0x80100068u),
     "晶片卡連線中斷，請將晶片卡重新插入後再試一次。",
     "The connection to the card was lost: take it out, put it back in and try again.",
     "The card was reset under the plug-in: `ConnectCard`, `VerifyPIN`, then the call "
     "again."},
};

}  // namespace

std::span<const StatusAdvice> PageAdvice() { return kAdvice; }

}  // namespace quilta
