#include "base/secret.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

namespace quilta {
namespace {

// The bytes a Secret held are zero once it is overwritten or released: checked in place, on
// storage the test owns, so nothing is read after it was freed.
TEST(Secret, WipesItsBytesWhenOverwrittenAndWhenReleased) {
  alignas(SecretBytes) unsigned char storage[sizeof(SecretBytes)];
  auto* s = new (storage) SecretBytes(std::string_view("123456"));  // fits in place (no heap)
  const char* bytes = s->value().data();
  ASSERT_EQ(std::memcmp(bytes, "123456", 6), 0);
  s->Assign("98");
  EXPECT_EQ(std::memcmp(bytes, "98\0\0\0\0", 6), 0);  // the longer old PIN is gone
  s->~SecretBytes();
  EXPECT_EQ(std::memcmp(bytes, "\0\0", 2), 0);

  SecretText pin(std::u16string_view(u"1234"));
  SecretText moved(std::move(pin));
  EXPECT_TRUE(pin.empty());
  EXPECT_EQ(moved.value(), u"1234");
}

}  // namespace
}  // namespace quilta
