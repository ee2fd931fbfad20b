#include <gtest/gtest.h>

#include <stdexcept>

#include "ErrorReport.h"
#include "RecordedMessages.h"

namespace {

TEST(ErrorReport, FullStopOnlyAfterCharactersAboveTheDot) {
  EXPECT_EQ(ReportedText("Unable to open com port (win error code: 2)"), "Unable to open com port (win error code: 2)");
  EXPECT_EQ(ReportedText("Cannot set property while connected"), "Cannot set property while connected.");
  EXPECT_EQ(ReportedText("Done."), "Done.");
  EXPECT_EQ(ReportedText("ends with a dash -"), "ends with a dash -");
  EXPECT_EQ(ReportedText("ends with a slash /"), "ends with a slash /.");
  EXPECT_EQ(ReportedText("code 7"), "code 7.");
  EXPECT_EQ(ReportedText(""), "");
}

TEST(ErrorReport, EscapingErrorsBecomeOneErrorBoxEach) {
  RecordedMessages messages;
  const OperatorMessages shown = messages.Messages();
  RunReported(shown, [] { throw std::runtime_error("Unable to write to /x/trellum.INI"); });
  RunReported(shown, [] { throw 42; });
  bool ran = false;
  RunReported(shown, [&] { ran = true; });
  EXPECT_TRUE(ran);
  ASSERT_EQ(messages.boxes.size(), 2u);
  EXPECT_EQ(messages.boxes[0].caption, "Velmora");
  EXPECT_EQ(messages.boxes[0].text, "Unable to write to /x/trellum.INI.");
  EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Error);
  EXPECT_EQ(messages.boxes[1].caption, "Velmora");
}

}  // namespace
