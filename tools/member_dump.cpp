// Prints the scriptable member table as the page sees it.
//   quilta-members              a plain listing
//   quilta-members --markdown   the page author's reference (docs/members.md): the member
//                               table, the status table with the ErrorInfo texts and what a
//                               page tells the customer for each status, all taken from the
//                               code (members.def, MapStatus, PageAdvice); it fails when a
//                               status of the table has no advice
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/member_table.h"
#include "base/status.h"

namespace {

using namespace quilta;

// What a missing required argument gives, and how the method takes its arguments.
struct MethodExtra {
  std::string_view form;
  int32_t missing;
};
constexpr MethodExtra kExtras[] = {
#define QUILTA_METHOD(dispid, name, scope, argc, a1, a2, a3, form, missing) {#form, status::missing},
#define QUILTA_PROP(dispid, name, access, type, limit, def, read, write, ...)
#include "base/members.def"
#undef QUILTA_METHOD
#undef QUILTA_PROP
};
static_assert(std::size(kExtras) == kMethodCount);

void PrintPlain() {
  std::printf("Methods (%zu):\n", kMethodCount);
  for (const auto& m : kMethods) {
    std::printf("  %3d %-24s %s", m.dispid, std::string(m.name).c_str(),
                m.scope == Scope::AxOnly       ? "ActiveX only"
                : m.scope == Scope::VtableOnly ? "ActiveX vtable only"
                                               : "");
    for (int i = 0; i < m.argc; ++i) std::printf(" %s", std::string(m.args[i]).c_str());
    std::printf("\n");
  }
  std::printf("Properties (%zu):\n", kPropCount);
  static const char* kAccess[] = {"R", "W", "RW"};
  for (const auto& p : kProps) {
    std::printf("  %3d %-18s %-2s %-4s", p.dispid, std::string(p.name).c_str(),
                kAccess[static_cast<int>(p.access)], p.type == ValueType::Int ? "int" : "text");
    if (p.limit != kNoLimit) std::printf(" limit %d", p.limit);
    if (!p.defaultText.empty()) std::printf(" default \"%s\"", std::string(p.defaultText).c_str());
    std::printf("\n");
  }
}

std::string Text(std::string_view s) { return std::string(s); }

// A text as a Markdown code span that shows leading blanks.
std::string Span(const std::string& s) { return "`" + s + "`"; }

std::string Arguments(const MethodInfo& m) {
  if (m.argc == 0) return "none";
  std::string out;
  for (int i = 0; i < m.argc; ++i) out += (i ? ", " : "") + Span(Text(m.args[i]));
  return out;
}

std::string MissingRule(const MethodInfo& m, const MethodExtra& x) {
  if (x.form == "Pin") return "a missing PIN is judged by the method";
  if (x.form.starts_with("Req")) {
    std::string text;
    MapStatus(x.missing, &text);
    return "missing: " + std::to_string(x.missing) + " " + Span(text);
  }
  if (m.argc == 0) return "extra arguments are ignored";
  return "";
}

std::string ReadText(const PropInfo& p) {
  if (!p.readable()) return "—";
  switch (p.read) {
    case ReadRule::Flag: return "\"Y\" or \"N\"";
    case ReadRule::Empty: return "always \"\"";
    case ReadRule::Zero: return "always 0";
    case ReadRule::Error: return "the last status text";
    case ReadRule::Plain: break;
  }
  if (p.type == ValueType::Int) return "number, 0 at load";
  if (!p.defaultText.empty()) return std::string("\"").append(Text(p.defaultText)).append("\" at load");
  return "\"\" at load";
}

std::string WriteText(const PropInfo& p) {
  std::string limit = p.limit == kNoLimit ? "" : ", dropped beyond " + std::to_string(p.limit) + " bytes";
  switch (p.write) {
    case WriteRule::None: return "—";
    case WriteRule::Secret:
    case WriteRule::Store:
      return p.type == ValueType::Int ? "a number without a fraction; anything else is refused"
                                      : "stored" + limit;
    case WriteRule::Amount: return "stored as the amount in whole units" + limit;
    case WriteRule::Nono: return "48 digits: picks the key-encryption key" + limit;
    case WriteRule::Fixed:
      return "cut or blank-padded to " + std::to_string(p.input.width) + " bytes" + limit;
    case WriteRule::Ignore: return "accepted, no effect";
    case WriteRule::AxIgnore:
      return "refused (NPAPI, extension); accepted with no effect (ActiveX)";
  }
  return "";
}

// What the methods that take the property as an input require of it, and the status
// otherwise.
std::string InputText(const PropInfo& p) {
  if (!p.input.checked()) return "—";
  const std::string otherwise = ", else " + std::to_string(p.input.bad);
  if (p.input.width == kNotEmpty) return "not empty" + otherwise;
  const std::string width = std::to_string(p.input.width);
  if (p.write == WriteRule::Amount) return "`Amount14`: " + width + " digits" + otherwise;
  return width + " bytes" + otherwise;
}

// Our statuses with their texts: the own codes, and the PC/SC results that read as one of
// them (5001 for 8010001D, ...).
std::map<int32_t, std::pair<std::string, std::string>> StatusRows() {
  std::map<int32_t, std::pair<std::string, std::string>> rows;
  for (int32_t code = 0; code <= 6999; ++code) {
    std::string text;
    if (MapStatus(code, &text) == code && !text.starts_with("Other Error!"))
      rows[code] = {text, ""};
  }
  for (uint32_t u = 0x80100001u; u <= 0x8010006Eu; ++u) {
    std::string text;
    const int32_t status = MapStatus(static_cast<int32_t>(u), &text);
    if (status < 0) continue;
    char origin[32];
    std::snprintf(origin, sizeof origin, "PC/SC %08X", u);
    auto& row = rows[status];
    if (row.first.empty()) row.first = text;
    row.second += (row.second.empty() ? "" : ", ") + std::string(origin);
  }
  return rows;
}

// Our statuses without a text of their own, and when they come.
struct Textless {
  int32_t code;
  const char* when;
};
constexpr Textless kTextless[] = {
    {status::kInvalidHandleFromContext, "`ConnectDriver`: the system refused the context"},
    {status::kKeypadTampered, "`DoInput`: the keypad entry failed its integrity check"},
    {status::kBadId, "`DoApplyTAC`: `ID` not 16 bytes"},
    {status::kBusy, "any call while one of the plug-in's dialogs is open (nothing changes, "
                    "not even `ErrorInfo`)"},
};

// The status column of an advice row: the value, and the form a page may know it by.
std::string StatusCell(int32_t code) {
  char buf[64];
  if (code < 0) {
    std::snprintf(buf, sizeof buf, "%d (%08X)", code, static_cast<uint32_t>(code));
  } else if (code >= 0x6000 && code <= 0xFFFF) {  // a card status word
    std::snprintf(buf, sizeof buf, "%d (%02X %02X)", code, code >> 8, code & 0xFF);
  } else {
    std::snprintf(buf, sizeof buf, "%d", code);
  }
  return buf;
}

// What a page tells the customer and does next, per status (PageAdvice). False, with the
// statuses named on stderr, when one of our statuses (the table's and the textless ones) has
// no advice, or a row's status would not reach the page as itself.
bool PrintAdvice() {
  bool complete = true;
  for (const StatusAdvice& a : PageAdvice()) {
    for (int64_t code = a.first; code <= a.last; ++code) {
      if (MapStatus(static_cast<int32_t>(code), nullptr) != code) {
        std::fprintf(stderr, "advice for %lld: the page never reads that status\n",
                     static_cast<long long>(code));
        complete = false;
      }
    }
  }
  auto advised = [](int32_t code) {
    for (const StatusAdvice& a : PageAdvice())
      if (a.first <= code && code <= a.last) return true;
    return false;
  };
  // The text each status leaves; the statuses that only a PC/SC result produces (5001, ...)
  // have theirs from that result.
  std::map<int32_t, std::string> texts;
  std::vector<int32_t> ours;
  for (const auto& [code, row] : StatusRows()) {
    ours.push_back(code);
    texts[code] = row.first;
  }
  for (const Textless& t : kTextless) ours.push_back(t.code);
  auto textOf = [&texts](int32_t code) {
    if (auto it = texts.find(code); it != texts.end()) return it->second;
    std::string text;
    MapStatus(code, &text);
    return text;
  };
  for (int32_t code : ours) {
    if (code != status::kOk && !advised(code)) {
      std::fprintf(stderr, "status %d has no advice (base/status_advice.cpp, kAdvice)\n", code);
      complete = false;
    }
  }

  std::printf(
      "\n## What to tell the customer, and what the page does next\n\n"
      "For each status a page meets: one sentence to show the customer, in Traditional Chinese\n"
      "and in English, and the page's next step (the rows of `base/status_advice.cpp`). Show the\n"
      "customer the sentence, not `ErrorInfo`, and log the status: a call refused with 6009 or\n"
      "5004 leaves `ErrorInfo` as the previous call left it. A card status word or PC/SC result\n"
      "not listed (for example a PIN-pad reader's own answer to its cancel key): tell the\n"
      "customer the transaction did not go through, log the status, and start again from\n"
      "`ConnectCard`.\n\n"
      "| Status | ErrorInfo | 告訴客戶 | Tell the customer | The page's next step |\n"
      "|---|---|---|---|---|\n");
  for (const StatusAdvice& a : PageAdvice()) {
    const std::string first = textOf(a.first), last = textOf(a.last);
    const std::string status = a.first == a.last ? StatusCell(a.first)
                                                 : StatusCell(a.first) + "–" + StatusCell(a.last);
    const std::string text = a.first == a.last ? Span(first) : Span(first) + " … " + Span(last);
    std::printf("| %s | %s | %s | %s | %s |\n", status.c_str(), text.c_str(),
                a.customerZh, a.customerEn, a.nextStep);
  }
  return complete;
}

bool PrintMarkdown() {
  std::printf(
      "# Scriptable members\n\n"
      "Generated by `quilta-members --markdown` from the member table (`base/members.def`) and\n"
      "the status tables (`base/status.cpp`, `base/status_advice.cpp`); do not edit by hand.\n"
      "`cmake --build BUILD --target update-docs` regenerates it; the test\n"
      "`docs_members_up_to_date` fails when it is stale.\n\n"
      "Names are matched with case. Every method returns a number, the status (0 = success),\n"
      "except `GetComVersion`, which returns \"1,0,0,1\"; the status text is then in `ErrorInfo`.\n"
      "Arguments that are numbers are taken as their decimal text.\n\n");
  // The page's members: the vtable-only row has no name a script can use.
  size_t scripted = 0;
  for (const MethodInfo& m : kMethods) scripted += m.scope != Scope::VtableOnly;
  std::printf("## Methods (%zu)\n\n", scripted);
  std::printf("| DISPID | Method | Arguments | Argument rule | Surfaces |\n|---|---|---|---|---|\n");
  for (size_t i = 0; i < kMethodCount; ++i) {
    const MethodInfo& m = kMethods[i];
    if (m.scope == Scope::VtableOnly) continue;
    std::printf("| %d | `%s` | %s | %s | %s |\n", m.dispid, Text(m.name).c_str(),
                Arguments(m).c_str(), MissingRule(m, kExtras[i]).c_str(),
                m.scope == Scope::AxOnly ? "ActiveX only" : "NPAPI, ActiveX, extension");
  }
  std::printf("\n## Properties (%zu)\n\n", kPropCount);
  static const char* kAccess[] = {"read", "write", "read, write"};
  std::printf(
      "| DISPID | Property | Access | Type | Reads | Write | As a method's input |\n"
      "|---|---|---|---|---|---|---|\n");
  for (const PropInfo& p : kProps) {
    std::printf("| %d | `%s` | %s | %s | %s | %s | %s |\n", p.dispid, Text(p.name).c_str(),
                kAccess[static_cast<int>(p.access)], p.type == ValueType::Int ? "number" : "text",
                ReadText(p).c_str(), WriteText(p).c_str(), InputText(p).c_str());
  }
  std::printf(
      "\nWrite-only properties are present (`'SessionKey' in atm` is true); reading one gives\n"
      "`undefined` through the NPAPI object and `window.webatm`, and an error through the\n"
      "ActiveX control. Byte limits count the text's 8-bit form: a two-byte character counts 2;\n"
      "a value beyond the limit is dropped and the write still counts as done. Which writes are\n"
      "refused, and what the page sees then: `README.md`, \"Property writes\".\n\n"
      "A method checks its inputs (the last column) in its own order before any dialog or card\n"
      "command and returns the status of the first that does not fit; widths count the 8-bit\n"
      "form. `Amount` is checked in its `Amount14` form: the text right-aligned in 12\n"
      "characters padded with \"0\", then \"00\". `Key` and `aPIN` must be upper-case hex\n"
      "digits, the card-write lists one byte a character.\n");

  std::printf(
      "\n## Statuses and ErrorInfo texts\n\n"
      "The system's own statuses with the exact `ErrorInfo` text each leaves (the blanks at the\n"
      "start of some texts are part of them). A value not listed reads\n"
      "`Other Error! (<hex>)`: a PC/SC result or card status word that has no text of its own.\n\n"
      "| Status | ErrorInfo | Also the answer to |\n|---|---|---|\n");
  for (const auto& [status, row] : StatusRows())
    std::printf("| %d | %s | %s |\n", status, Span(row.first).c_str(), row.second.c_str());
  std::printf(
      "\nStatuses with no text of their own read \"Other Error!\" with the status in hex:\n\n"
      "| Status | ErrorInfo | When |\n|---|---|---|\n");
  for (const auto& t : kTextless) {
    std::string text;
    MapStatus(t.code, &text);
    std::printf("| %d | %s | %s |\n", t.code, Span(text).c_str(), t.when);
  }
  std::printf(
      "\nPC/SC results keep their value as a negative 32-bit number and read as their text with\n"
      "the value in hex, for example:\n\n| Status | ErrorInfo |\n|---|---|\n");
  for (uint32_t u : {0x80100002u, 0x8010000Cu, 0x80100017u, 0x80100066u, 0x80100068u}) {
    std::string text;
    const int32_t status = MapStatus(static_cast<int32_t>(u), &text);
    std::printf("| %d | %s |\n", status, Span(text).c_str());
  }
  std::printf(
      "\nCard answers that mean one of the statuses above read as that status: 66 08 (wrong\n"
      "PIN) as 5031, 66 20 (PIN blocked) as 5032, 66 10 (PIN not verified) as 5033; other card\n"
      "status words are returned as SW1 * 256 + SW2 (e.g. 27272 for 6A 88) with\n"
      "`Other Error! (6a88)`.\n");
  return PrintAdvice();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--markdown") == 0) {
    if (!PrintMarkdown()) return 1;
  } else {
    PrintPlain();
  }
  return 0;
}
