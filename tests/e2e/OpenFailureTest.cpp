#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include "SessionFixture.h"

namespace {

using OpenFailure = SessionFixture;

TEST_F(OpenFailure, MissingDeviceIsReportedAndTheWindowStaysDisconnected) {
  PointCom1At("/nonexistent/trellum-e2e-port");
  Form().Button4->click();
  EXPECT_EQ(Form().Button4->text(), "Connect");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Velmora");
  EXPECT_FALSE(boxes[0].text.isEmpty());
  EXPECT_TRUE(Form().Model->isEnabled());
  EXPECT_TRUE(Form().comm1->isEnabled());
  EXPECT_FALSE(Form().status->isEnabled());
}

// A second window cannot take a line that the first one holds; the first
// keeps working.
TEST_F(OpenFailure, LineHeldByAnotherWindowIsBusy) {
  ConnectToReader({"--no-powerup"}, 0, AutoBeep::Off);
  {
    TForm1 second(WindowSetup());
    second.Button4->click();
    EXPECT_EQ(second.Button4->text(), "Connect");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(boxes[0].text.isEmpty());
  }
  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  reader->Control("card 258:197637");
  ExpectLogFrom(log, {"Orvane series", "00258:0000197637"});
  EXPECT_EQ(CommandsSince(out), QStringList{"- 0"});
  EXPECT_EQ(boxes.size(), 1u);
}

}  // namespace
