// The card simulator's profile reader with arbitrary text: ParseProfile either gives a
// profile or raises ProfileError (nothing else). A profile it gives is written back with
// FormatProfile and read again to the same text, and a card made from it answers its first
// commands.
#include <cstdlib>

#include "fuzz/check.h"
#include <string>

#include "sim/fisc_card.h"
#include "sim/profile.h"

using namespace quilta::sim;

namespace {

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Profile p;
  try {
    p = ParseProfile(text);
  } catch (const ProfileError&) {
    return 0;
  }
  const std::string formatted = FormatProfile(p);
  Profile again;
  try {
    again = ParseProfile(formatted);
  } catch (const ProfileError&) {
    CHECK(false);  // what FormatProfile writes must read back
  }
  CHECK(FormatProfile(again) == formatted);
  FiscCard card(p);
  card.PowerOn();
  const std::vector<uint8_t> select = {0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00, 0x00,
                                       0x01, 0x72, 0x95, 0x00, 0x01, 0x00};
  CHECK(card.Transmit(select).size() >= 2);
  CHECK(card.Transmit({0x00, 0xB0, 0x00, 0x00, 0x10}).size() == 18);
  return 0;
}
