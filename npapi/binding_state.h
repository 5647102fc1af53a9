// Process-wide state of the NPAPI binding. The core object holds everything the bank's pages
// share; the binding keeps only what it needs to talk to the browser. Each instance keeps
// its own page URL (plugin.cpp).
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "base/member_table.h"
#include "core/script.h"
#include "npapi/npapi.h"

namespace quilta::npapi {

using quilta::Member;

struct BindingState {
  // Identifier of every member name the NPAPI surface has -> member.
  std::unordered_map<NPIdentifier, Member> members;
};

BindingState& State();

// Re-reads the identifiers of all member names from the browser.
void BuildIdentifierTable();

// window.location.href of the instance's page, as read when the instance was made (nullopt
// when the browser gave none or `npp` is no live instance of ours).
std::optional<std::string> InstancePageUrl(NPP npp);

}  // namespace quilta::npapi
