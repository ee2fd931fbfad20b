#include "DecoderModel.h"
#include "SessionFixture.h"
#include "Transcript.h"

namespace {

struct Fault {
  const char* kind;
  QStringList log;  // with the trace off
};

void PrintTo(const Fault& f, std::ostream* out) { *out << f.kind; }

class InjectedFault : public SessionFixture, public ::testing::WithParamInterface<Fault> {};

// A broken frame is never answered, gives exactly its log lines, and the
// next good frame is decoded as if nothing had happened.
TEST_P(InjectedFault, GivesItsLogLinesAndNoAnswer) {
  const Fault& fault = GetParam();
  ConnectToReader({"--no-powerup", "--seed", "7"});
  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  reader->Control(QString("fault %1 258:197637").arg(fault.kind));
  const QString sent = reader->Next(QString("tx - fault %1").arg(fault.kind));
  ASSERT_FALSE(sent.isEmpty());
  ExpectLogFrom(log, fault.log);
  EXPECT_TRUE(reader->Since(out, "rx ").isEmpty()) << "answered a broken frame";

  // The model of the decoder agrees with the lines expected for these bytes.
  DecoderModel model(false);
  model.Feed(BytesOfHex(sent.section(" : ", 1)));
  model.Silence();
  EXPECT_EQ(model.lines, fault.log);

  reader->Control("card 258:197637");
  ExpectLogFrom(log, fault.log + QStringList{"Orvane series", "00258:0000197637"});
  EXPECT_EQ(CommandsSince(out), EventResponse());
  EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, InjectedFault,
                         ::testing::Values(Fault{"checksum", {"RESET"}}, Fault{"endflag", {}},
                                           Fault{"length", {"RESET"}}, Fault{"cut", {"RESET"}},
                                           Fault{"noise", {"RESET"}}, Fault{"id", {"RESET"}}),
                         [](const auto& info) { return std::string(info.param.kind); });

using Faults = SessionFixture;

TEST_F(Faults, UnknownOneByteReplyAndStrayBytes) {
  ConnectToReader({"--no-powerup"});
  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  reader->Control("raw 02 02 41 41 03");
  ExpectLogFrom(log, {"Orvane series"});
  reader->Control("raw 41");
  ExpectLogFrom(log, {"Orvane series", "RESET"});
  // Noise in front of a frame, in one burst: the frame still counts.
  reader->Control("raw 41 42 00 FF 02 06 01 02 03 04 05 0F 03");
  ExpectLogFrom(log, {"Orvane series", "RESET", "Orvane series", "00258:0000197637"});
  EXPECT_EQ(CommandsSince(out), EventResponse());
}

// Disconnect leaves the inter-byte timer running: a frame cut off by it is
// still followed by "RESET".
TEST_F(Faults, PartialFrameAtDisconnectStillEndsInReset) {
  ConnectToReader({"--no-powerup"});
  const int log = int(Log().size());
  reader->Control("fault cut 258:197637");
  ASSERT_TRUE(reader->Await([&] { return Form().Protocol().State().DecoderState != 0; }));
  Disconnect();
  ASSERT_TRUE(AwaitLogSize(log + 1));
  Settle();
  EXPECT_EQ(Log().mid(log), QStringList{"RESET"});
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
