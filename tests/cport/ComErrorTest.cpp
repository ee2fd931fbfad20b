#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ComError.h"
#include "MessageCatalogue.h"

TEST(ComErrorTest, MessagesCarryTheCodeInDecimalExceptReasonsFourAndFourteen) {
  const EComPort open(kOpenFailed, 2);
  EXPECT_STREQ(open.what(), "Unable to open com port (win error code: 2)");
  EXPECT_EQ(open.ReasonCode(), 1);
  EXPECT_EQ(open.SystemCode(), 2);

  EXPECT_STREQ(EComPort(kEscapeFailed, 1234567).what(), "EscapeCommFunction function failed (win error code: 1234567)");
  EXPECT_STREQ(EComPort(kSetTimeoutsFailed, -5).what(), "SetCommTimeouts failed (win error code: -5)");

  const EComPort property(kSetWhileConnected);
  EXPECT_STREQ(property.what(), "Cannot set property while connected");
  EXPECT_EQ(property.SystemCode(), -1);
  EXPECT_STREQ(EComPort(kInvalidAsyncParameter).what(), "Invalid Async parameter");
}

TEST(ComErrorTest, TableHoldsTwentyThreeTexts) {
  EXPECT_EQ(PortErrorTexts(1), "Unable to open com port");
  EXPECT_EQ(PortErrorTexts(18), "Link (un)registration failed");
  EXPECT_EQ(PortErrorTexts(23), "Registry error");
  EXPECT_EQ(PortErrorTexts(0), "");
  EXPECT_EQ(PortErrorTexts(24), "");
  EXPECT_EQ(PortErrorTexts(-1), "");
}

#include "SavedLanguage.h"

namespace {

std::string ExecutableFolder() { return EXECUTABLE_FOLDER; }

// Tests that load catalogues leave the process's language as they found it.
class ComErrorCatalogueTest : public ::testing::Test {
 protected:
  static void LoadWithLanguage(const char* lang, const std::string& folder) { SavedLanguage::Load(lang, folder); }

  SavedLanguage language;
};

}  // namespace

TEST_F(ComErrorCatalogueTest, GermanCatalogueBesideTheExecutable) {
  LoadWithLanguage("de_DE.UTF-8", ExecutableFolder());
  const EComPort open(kOpenFailed, 2);
  EXPECT_STREQ(open.what(), "COM-Anschluss kann nicht geöffnet werden (Windows-Fehlercode: 2)");
  EXPECT_EQ(PortErrorTexts(kInvalidAsyncParameter), "Ungültiger Async-Parameter");
  EXPECT_STREQ(EComPort(kSetWhileConnected).what(),
               "Eigenschaft kann bei bestehender Verbindung nicht geändert werden");
  EXPECT_EQ(TranslateText("text that no catalogue holds"), "text that no catalogue holds");
}

TEST_F(ComErrorCatalogueTest, LanguageWithoutCatalogueKeepsEnglish) {
  LoadWithLanguage("C", ExecutableFolder());
  EXPECT_STREQ(EComPort(kOpenFailed, 2).what(), "Unable to open com port (win error code: 2)");
  LoadWithLanguage("sv_SE.UTF-8", ExecutableFolder());
  EXPECT_EQ(PortErrorTexts(kOpenFailed), "Unable to open com port");
}

TEST_F(ComErrorCatalogueTest, BadConversionsInACatalogueFallBackToEnglish) {
  LoadWithLanguage("fr_FR.UTF-8", TEST_CATALOGUES);
  // "%s" in the suffix and "%n" in the text: both fall back, nothing crashes.
  EXPECT_STREQ(EComPort(kOpenFailed, 13).what(), "Unable to open com port (win error code: 13)");
  // A text with "%%" is sound and is formatted with the suffix.
  EXPECT_STREQ(EComPort(kWriteFailed, 5).what(), "Échec de WriteFile à 100 % (win error code: 5)");

  LoadWithLanguage("it_IT.UTF-8", TEST_CATALOGUES);
  EXPECT_STREQ(EComPort(kReadFailed, 5).what(), "ReadFile non riuscita (win error code: 5)");
}

TEST_F(ComErrorCatalogueTest, DefaultDomainIsConsultedBeforeCport) {
  LoadWithLanguage("es_ES.UTF-8", TEST_CATALOGUES);
  EXPECT_STREQ(EComPort(kReadFailed, 5).what(), "ReadFile falló (default) (código de error: 5)");
  EXPECT_STREQ(EComPort(kPurgeFailed, 22).what(), "PurgeComm falló (código de error: 22)");
  // "default" translates it with the wrong conversion: the English format stands.
  EXPECT_EQ(TranslateFormat("Unable to write to %s"), "Unable to write to %s");
}
