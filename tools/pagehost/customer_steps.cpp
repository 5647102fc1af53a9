#include "tools/pagehost/customer_steps.h"

namespace quilta::pagehost {
namespace {

bool IsNumber(const std::string& s) {
  return !s.empty() && s.size() < 10 && s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

bool QueueCustomerSteps(ui::ScriptedCustomer& customer, const std::vector<std::string>& words,
                        std::string* error) {
  for (size_t k = 1; k < words.size(); ++k) {
    const std::string& w = words[k];
    auto number = [&](int* out) {
      if (k + 1 >= words.size() || !IsNumber(words[k + 1])) return false;
      *out = std::stoi(words[++k]);
      return true;
    };
    int n = 0;
    if (w == ";") continue;
    else if (w == "ok") customer.Ok();
    else if (w == "cancel") customer.Cancel();
    else if (w == "esc") customer.Esc();
    else if (w == "close") customer.CloseBox();
    else if (w == "pull") customer.PullCard();
    else if (w == "insert") customer.InsertCard();
    else if (w == "press" && number(&n)) customer.Press(n);
    else if (w == "wait" && number(&n)) customer.Wait(n);
    else if (w == "keys" && k + 2 < words.size()) {
      const std::string digits = words[++k];
      if (!number(&n)) {
        *error = "keys DIGITS FIRST-KEY-ID";
        return false;
      }
      customer.Keys(digits, n);
    } else {
      *error = "unknown customer step '" + w + "'";
      return false;
    }
  }
  return true;
}

}  // namespace quilta::pagehost
