// The sample web-ATM's script. Each step returns true on success; every plug-in call is
// logged with its status and ErrorInfo, every bank check with its verdict. window.webatm.last
// holds the last outcome ({step, status, errorInfo, bank}) for whoever drives the page.
var webatm = (function () {
  var atm = document.getElementById('atm');
  var lastVerified = null;  // the id of the last transaction the bank verified
  var self = {last: null, results: []};

  function log(text, ok) {
    var line = document.createElement('div');
    line.textContent = text;
    if (!ok) line.className = 'fail';
    document.getElementById('log').appendChild(line);
    if (window.console) console.log('webatm: ' + text);
  }
  function call(step, status) {
    var info = atm.ErrorInfo;
    self.last = {step: step, status: status, errorInfo: info};
    self.results.push(self.last);
    log(step + ' -> ' + status + '  ' + info, status === 0);
    return status === 0;
  }
  function http(method, url, body) {
    var xhr = new XMLHttpRequest();
    xhr.open(method, url, false);
    if (body) xhr.setRequestHeader('Content-Type', 'application/x-www-form-urlencoded');
    xhr.send(body || null);
    return JSON.parse(xhr.responseText);
  }
  function form(fields) {
    var parts = [];
    for (var k in fields) parts.push(k + '=' + encodeURIComponent(fields[k]));
    return parts.join('&');
  }
  function bank(step, verdict) {
    if (self.last) self.last.bank = verdict;
    log('bank: ' + step + ' ' + (verdict.ok ? 'accepted' : 'refused') + ' (' + verdict.reason + ')', verdict.ok);
    return verdict.ok;
  }

  self.listReaders = function () {
    if (!call('ConnectDriver', atm.ConnectDriver())) return false;
    if (!call('ListReadersName', atm.ListReadersName())) return false;
    var list = document.getElementById('readers');
    list.innerHTML = '';
    for (var i = 0; i < atm.ReaderCount; i++) list.add(new Option(atm['Reader' + i]));
    return true;
  };
  self.openCard = function () {
    atm.ReaderName = document.getElementById('readers').value;
    if (!call('SetReaderType', atm.SetReaderType(document.getElementById('type').value))) return false;
    if (!call('CheckCardInsert', atm.CheckCardInsert())) return false;
    if (atm.ReaderInsert !== 'Y') {
      log('no card in ' + atm.ReaderName, false);
      return false;
    }
    if (!call('ConnectCard', atm.ConnectCard())) return false;
    if (!call('ReadBasicData', atm.ReadBasicData())) return false;
    document.getElementById('card').textContent =
        'card ' + atm.CardNo + ', bank ' + atm.IssuerBankNo + ', ' + atm.AccountCount + ' account(s)';
    var list = document.getElementById('accounts');
    list.innerHTML = '';
    for (var i = 0; i < 8; i++)
      if (atm['AccountNo' + i] !== '0000000000000000') list.add(new Option(atm['AccountNo' + i]));
    return true;
  };
  self.verifyPin = function () {
    return call('VerifyPIN', atm.VerifyPIN(document.getElementById('pin').value));
  };
  // A transaction: the bank's session and inputs, the method, the bank's check.
  self.run = function (kind) {
    var s = http('GET', '/session?kind=' + kind);
    s.inputs.forEach(function (i) { atm[i.property] = i.value; });  // nono, SessionKey first
    var status = kind === 'login' ? atm.DoLoginTAC() : atm[s.method](document.getElementById('pin').value);
    if (!call(s.method, status)) return false;
    var out = {id: s.id, SessionTAC: atm.SessionTAC};
    if (kind !== 'login') {
      out.TAC = atm.TAC;
      out.IccSeqNo = atm.IccSeqNo;
      out.EncOutAccountNo = atm.EncOutAccountNo;
    }
    if (!bank(s.method, http('POST', '/verify', form(out)))) return false;
    if (kind !== 'login') lastVerified = s.id;
    return true;
  };
  self.tacLog = function () {
    if (!call('ReadTACLog', atm.ReadTACLog())) return false;
    for (var i = 0; i < 10; i++) if (atm['TACLog' + i]) log('TACLog' + i + ' ' + atm['TACLog' + i], true);
    if (lastVerified === null) return true;
    return bank('TACLog0', http('POST', '/verify', form({id: lastVerified, TACLog: atm.TACLog0})));
  };
  self.input = function () {
    var s = http('GET', '/session?kind=input');
    s.inputs.forEach(function (i) { atm[i.property] = i.value; });
    if (!call('DoInput', atm.DoInput())) return false;
    log('typed ' + atm.Value, true);
    return bank('DoInput', http('POST', '/verify', form({id: s.id, Value: atm.Value, ValueTAC: atm.ValueTAC})));
  };
  self.close = function () {
    return call('DisconnectCard', atm.DisconnectCard()) && call('DisconnectDriver', atm.DisconnectDriver());
  };
  return self;
})();
