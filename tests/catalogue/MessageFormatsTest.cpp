#include <gtest/gtest.h>

#include "MessageCatalogue.h"

TEST(MessageFormats, ATranslationMustHoldTheConversionsOfItsEnglishFormat) {
  EXPECT_TRUE(SameConversions(" (Fehler: %d)", " (win error code: %d)"));
  EXPECT_TRUE(SameConversions("%5d %% done", "%d"));
  EXPECT_TRUE(SameConversions("%i", "%d"));
  EXPECT_TRUE(SameConversions("kein Format", "no format"));
  EXPECT_FALSE(SameConversions("%s", "%d"));
  EXPECT_FALSE(SameConversions("%n", "%d"));
  EXPECT_FALSE(SameConversions("%d %d", "%d"));
  EXPECT_FALSE(SameConversions("", "%d"));
  EXPECT_FALSE(SameConversions("%ld", "%d"));
  EXPECT_FALSE(SameConversions("%*d", "%d"));
  EXPECT_FALSE(SameConversions("%1$d", "%d"));
  EXPECT_FALSE(SameConversions("trailing %", "trailing"));
  EXPECT_FALSE(SameConversions("%q", "%d"));
  EXPECT_TRUE(SameConversions("%10.5d", "%d"));
  EXPECT_FALSE(SameConversions("%999999999d", "%d"));
  EXPECT_FALSE(SameConversions("%.999999999d", "%d"));
  EXPECT_TRUE(SameConversions("an %s in Datei", "Unable to write to %s"));
}
