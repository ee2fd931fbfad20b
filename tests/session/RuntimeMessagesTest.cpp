#include <gtest/gtest.h>

#include "RuntimeMessages.h"
#include "SavedLanguage.h"

// Each test loads the catalogues for one language; the process's language
// is put back after it.
namespace {

class RuntimeMessages : public ::testing::Test {
 protected:
  static std::string UnableToWriteIn(const char* lang) {
    SavedLanguage::Load(lang, SESSION_TEST_CATALOGUES);
    return FormatRuntimeMessage("Unable to write to %s", "/opt/t/trellum.INI");
  }

  SavedLanguage language;
};

TEST_F(RuntimeMessages, DefaultDomainComesFirst) {
  EXPECT_EQ(UnableToWriteIn("es_ES.UTF-8"), "No se puede escribir en /opt/t/trellum.INI");
}

TEST_F(RuntimeMessages, CportDomainServesWhenDefaultHasNone) {
  EXPECT_EQ(UnableToWriteIn("fr_FR.UTF-8"), "Impossible d'écrire dans /opt/t/trellum.INI");
}

TEST_F(RuntimeMessages, UnfitTranslationFallsBackToEnglish) {
  EXPECT_EQ(UnableToWriteIn("it_IT.UTF-8"), "Unable to write to /opt/t/trellum.INI");
}

TEST_F(RuntimeMessages, WithoutCataloguesTheTextStaysAndTheArgumentIsNoFormat) {
  UnableToWriteIn("C");
  EXPECT_EQ(FormatRuntimeMessage("Unable to write to %s", "/tmp/%s%n%d.INI"), "Unable to write to /tmp/%s%n%d.INI");
}

}  // namespace
