// Process-wide state of the NPAPI binding. The core object holds everything the page sees;
// the binding keeps only what it needs to talk to the browser.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "core/member_table.h"
#include "core/script.h"
#include "npapi/npapi.h"

namespace quilta::npapi {

using quilta::Member;

struct BindingState {
  // window.location.href of the newest plug-in instance, copied out of the browser's string
  // (nullopt when the browser gave none). It stays valid after that instance is destroyed.
  std::optional<std::string> pageUrl;
  // Identifier of every member name the NPAPI surface has -> member.
  std::unordered_map<NPIdentifier, Member> members;
};

BindingState& State();

// Re-reads the identifiers of all member names from the browser.
void BuildIdentifierTable();

}  // namespace quilta::npapi
