// A core wired to the virtual reader and virtual time, with helpers for the usual steps.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/atm_core.h"
#include "testsupport/virtual_pcsc.h"
#include "tests/card/scripted_card.h"

namespace quilta::testing {

inline constexpr char kReader[] = "Virtual PCD 00 00";
inline constexpr char kSelectApp[] = "00 A4 04 00 08 A0 00 00 01 72 95 00 01 00";

class CardFixture : public ::testing::Test {
 protected:
  CardFixture() {
    core.channel().pcsc = &pcsc;
    core.channel().sleeper = &sleeper;
  }

  std::string Error() const { return core.errorText(); }
  std::string Text(Prop p) const { return ToNarrow(core.props().TextOf(p)); }
  void SetReaderName(const std::string& name) { core.PutText(Prop::ReaderName, AsciiText(name)); }

  // Inserts a scripted card whose script begins with the application selection.
  std::shared_ptr<ScriptedCard> InsertCard(std::vector<Step> afterSelect = {},
                                           const std::string& reader = kReader) {
    auto card = std::make_shared<ScriptedCard>(std::vector<Step>{{kSelectApp, "90 00"}});
    card->Append(std::move(afterSelect));
    pcsc.InsertCard(reader, card);
    return card;
  }

  // ConnectDriver, ReaderName, ConnectCard; the log starts empty afterwards.
  void Open(const std::string& reader = kReader) {
    ASSERT_EQ(core.ConnectDriver(), 0);
    SetReaderName(reader);
    ASSERT_EQ(core.ConnectCard(), 0) << Error();
    pcsc.ClearLog();
  }

  platform::VirtualPcsc pcsc;
  platform::VirtualSleeper sleeper;
  CAtmCore core;
};

}  // namespace quilta::testing
