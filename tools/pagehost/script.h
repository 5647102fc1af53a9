// The page-script language of quilta-pagehost: a line-based stand-in for the script of a
// bank page. One statement per line; '#' starts a comment (outside strings).
//
//   page https://bank.example/atm   a new plug-in instance on that page (it becomes current;
//   page none                       "none": a browser that gives no page URL)
//   destroy                         NPP_Destroy of the current instance
//   ReaderName = "Virtual PCD 00 00"   property write; must be accepted
//   set ReaderType = 2.5 -> refused     property write that must be refused
//   get ErrorInfo                       property read, printed
//   get ErrorInfo == "Command successful. (0)"   read and check (also: expect NAME == V)
//   get SessionKey -> refused           read that must be refused
//   call ConnectCard -> 0               method call and check ("==" works as well)
//   call ChangePIN("1234", "5678")      arguments: any values, comma separated
//   call DoAccessibleTransferTAC("1") -> refused
//   call @default -> "default method return val"   the object's default method
//   has SessionKey -> property          has: method, property or none
//   echo any text                       printed as it is
//   dev modal 1                         marks one of the plug-in's modal dialogs as open
//                                       (0 closes it) through the development hooks
//   card out / card in                  pulls / puts back the simulated card (--virtual)
//
// ${NAME} anywhere in a line stands for the value of the variable NAME (a line naming an
// undefined variable fails); quilta-pagehost defines BANK_DOMAIN, the bank domain the module
// was built for, and BANK_DOMAIN_UPPER, the same in capitals:
//
//   page https://webatm.${BANK_DOMAIN}/atm
//
// Values: "text" (escapes \" \\ \n \t \xHH \uXXXX), whole numbers (sent as Int32), numbers
// with a fraction or exponent (sent as Double: write 2.0 to send a whole Double), true,
// false, null, void. Results print in the same notation. A number result equals a number
// value of the same magnitude whatever its kind.
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/pagehost/host_browser.h"

namespace quilta::pagehost {

class ScriptRunner {
 public:
  ScriptRunner(Module& module, std::string defaultUrl, std::ostream& out);
  ~ScriptRunner();

  // Handles statements the runner does not know ("card in"): returns false when the
  // statement is not one of its own, sets *error when it failed.
  std::function<bool(const std::vector<std::string>& words, std::string* error)> extension;

  // Values of the ${NAME} variables.
  std::map<std::string, std::string> variables;

  // Runs a script; returns the number of failed expectations and errors.
  int Run(std::istream& in, const std::string& name);
  // Runs one line; false when it failed.
  bool RunLine(const std::string& line);

  Page* current();

 private:
  Module& module_;
  std::string defaultUrl_;
  std::ostream& out_;
  std::vector<std::unique_ptr<Page>> pages_;
};

// Parses one value in script notation; nullopt when the text is not a value.
std::optional<Value> ParseValue(const std::string& text);

}  // namespace quilta::pagehost
