#include "platform/fatal.h"

#include <gtest/gtest.h>

#include "platform/errors.h"

namespace vld {
namespace {

TEST(FatalDeathTest, WithoutHookPrintsGermanErrorAndExits255) {
  EXPECT_EXIT(Fatal("layer inactive"), ::testing::ExitedWithCode(255), "Fehler: layer inactive");
}

TEST(FatalTest, ThrowingHookUnwindsAndIsRestoredAfterItsScope) {
  {
    ScopedFatalHook hook(ThrowingFatalHook);
    EXPECT_THROW(Fatal("Speicherraum erschöpft"), EFatal);
  }
  EXPECT_EQ(SetFatalHook(nullptr), nullptr);
}

TEST(FatalTest, FormatFillsPlaceholders) {
  EXPECT_EQ(Format("Code %.8x", 5u), "Code 00000005");
}

}  // namespace
}  // namespace vld
