// Prints the scriptable member table as the page sees it.
//   quilta-members              a plain listing
//   quilta-members --markdown   the page author's reference (docs/members.md): the member
//                               table and the status table with the ErrorInfo texts, both
//                               taken from the code (members.def and MapStatus)
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "core/member_table.h"
#include "core/status.h"

namespace {

using namespace quilta;

// What a missing required argument gives, and how the method takes its arguments.
struct MethodExtra {
  std::string_view form;
  int32_t missing;
};
constexpr MethodExtra kExtras[] = {
#define QUILTA_METHOD(dispid, name, scope, argc, a1, a2, a3, form, missing) {#form, status::missing},
#define QUILTA_PROP(dispid, name, access, type, limit, def, read, write)
#include "core/members.def"
#undef QUILTA_METHOD
#undef QUILTA_PROP
};
static_assert(std::size(kExtras) == kMethodCount);

void PrintPlain() {
  std::printf("Methods (%zu):\n", kMethodCount);
  for (const auto& m : kMethods) {
    std::printf("  %3d %-24s %s", m.dispid, std::string(m.name).c_str(),
                m.scope == Scope::AxOnly ? "ActiveX only" : "");
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
      return p.type == ValueType::Int ? "a script integer (other values are dropped)" : "stored" + limit;
    case WriteRule::Amount: return "stored as the amount in whole units" + limit;
    case WriteRule::Nono: return "48 digits: picks the key-encryption key" + limit;
    case WriteRule::Fixed16: return "cut or blank-padded to 16 characters" + limit;
    case WriteRule::Fixed10: return "cut to 10 characters" + limit;
    case WriteRule::Ignore: return "accepted, no effect";
    case WriteRule::AxIgnore: return "refused (NPAPI); accepted with no effect (ActiveX)";
  }
  return "";
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

void PrintMarkdown() {
  std::printf(
      "# Scriptable members\n\n"
      "Generated by `quilta-members --markdown` from the member table (`core/members.def`) and\n"
      "the status table (`core/status.cpp`); do not edit by hand. `cmake --build BUILD --target\n"
      "update-docs` regenerates it; the test `docs_members_up_to_date` fails when it is stale.\n\n"
      "Names are matched with case. Every method returns a number, the status (0 = success),\n"
      "except `GetComVersion`, which returns \"1,0,0,1\"; the status text is then in `ErrorInfo`.\n"
      "Arguments that are numbers are taken as their decimal text.\n\n");
  std::printf("## Methods (%zu)\n\n", kMethodCount);
  std::printf("| DISPID | Method | Arguments | Argument rule | Surfaces |\n|---|---|---|---|---|\n");
  for (size_t i = 0; i < kMethodCount; ++i) {
    const MethodInfo& m = kMethods[i];
    std::printf("| %d | `%s` | %s | %s | %s |\n", m.dispid, Text(m.name).c_str(),
                Arguments(m).c_str(), MissingRule(m, kExtras[i]).c_str(),
                m.scope == Scope::AxOnly ? "ActiveX only" : "NPAPI and ActiveX");
  }
  std::printf("\n## Properties (%zu)\n\n", kPropCount);
  static const char* kAccess[] = {"read", "write", "read, write"};
  std::printf("| DISPID | Property | Access | Type | Reads | Write |\n|---|---|---|---|---|---|\n");
  for (const PropInfo& p : kProps) {
    std::printf("| %d | `%s` | %s | %s | %s | %s |\n", p.dispid, Text(p.name).c_str(),
                kAccess[static_cast<int>(p.access)], p.type == ValueType::Int ? "number" : "text",
                ReadText(p).c_str(), WriteText(p).c_str());
  }
  std::printf(
      "\nWrite-only properties are present (`'SessionKey' in atm` is true) but read as\n"
      "undefined. Byte limits count the text's 8-bit form: a two-byte character counts 2.\n");

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
  const struct {
    int32_t code;
    const char* when;
  } kTextless[] = {
      {status::kInvalidHandleFromContext, "`ConnectDriver`: the system refused the context"},
      {status::kKeypadTampered, "`DoInput`: the keypad entry failed its integrity check"},
      {status::kBadId, "`DoApplyTAC`: `ID` not 16 characters"},
      {status::kBusy, "any call while one of the plug-in's dialogs is open (nothing changes, "
                      "not even `ErrorInfo`)"},
  };
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
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--markdown") == 0) {
    PrintMarkdown();
  } else {
    PrintPlain();
  }
  return 0;
}
