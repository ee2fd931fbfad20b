#include <gtest/gtest.h>

#include <cstdlib>

#include "MessageCatalogue.h"
#include "RuntimeMessages.h"

// The catalogues are loaded once per process, so each test picks one
// language; CTest runs every test in a process of its own.
namespace {

std::string UnableToWriteIn(const char* lang) {
  setenv("LANG", lang, 1);
  LoadMessageCatalogues(UI_TEST_CATALOGUES);
  return FormatRuntimeMessage("Unable to write to %s", "/opt/t/trellum.INI");
}

TEST(RuntimeMessages, DefaultDomainComesFirst) {
  EXPECT_EQ(UnableToWriteIn("es_ES.UTF-8"), "No se puede escribir en /opt/t/trellum.INI");
}

TEST(RuntimeMessages, CportDomainServesWhenDefaultHasNone) {
  EXPECT_EQ(UnableToWriteIn("fr_FR.UTF-8"), "Impossible d'écrire dans /opt/t/trellum.INI");
}

TEST(RuntimeMessages, UnfitTranslationFallsBackToEnglish) {
  EXPECT_EQ(UnableToWriteIn("it_IT.UTF-8"), "Unable to write to /opt/t/trellum.INI");
}

TEST(RuntimeMessages, WithoutCataloguesTheTextStaysAndTheArgumentIsNoFormat) {
  UnableToWriteIn("C");
  EXPECT_EQ(FormatRuntimeMessage("Unable to write to %s", "/tmp/%s%n%d.INI"), "Unable to write to /tmp/%s%n%d.INI");
}

}  // namespace
