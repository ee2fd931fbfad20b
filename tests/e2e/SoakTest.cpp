#include <QCheckBox>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <random>

#include "DecoderModel.h"
#include "SessionFixture.h"
#include "Transcript.h"

namespace {

constexpr int kGoodFrames = 2000;
constexpr unsigned kSeed = 20261208;
constexpr int kQuietAfterFaultMs = 150;

bool IsStartFlag(unsigned char b) { return !FamilyOf(b).isEmpty(); }

// One burst the reader sends, and what it must bring.
struct Step {
  QString control;
  bool brokenOrStray;  // the line stays quiet afterwards
  bool goodCard;
};

class Plan {
 public:
  explicit Plan(unsigned seed) : random_(seed) {}

  std::vector<Step> Make() {
    std::vector<Step> steps;
    static const char* const kinds[] = {"checksum", "endflag", "length", "cut", "id"};
    for (int card = 0; card < kGoodFrames; ++card) {
      if (Chance(0.12)) {
        switch (Pick(7)) {
          case 0: steps.push_back({"fault noise", true, false}); break;
          case 1:
            // Noise with a good frame behind it in the same burst.
            steps.push_back({"raw " + HexOf(Noise() + Frame(SafeCode())), false, true});
            ++card;
            break;
          default: steps.push_back({QString("fault %1 %2").arg(kinds[Pick(5)], CodeText(SafeCode())), true, false});
        }
      }
      steps.push_back({"card " + CodeText(Code()), false, true});
    }
    return steps;
  }

 private:
  struct CardCode {
    unsigned first, second;
  };

  bool Chance(double p) { return std::uniform_real_distribution<>(0, 1)(random_) < p; }
  int Pick(int n) { return std::uniform_int_distribution<>(0, n - 1)(random_); }
  CardCode Code() { return {unsigned(Pick(65536)), unsigned(Pick(1 << 24))}; }
  // Broken frames carry no start flag inside, so what follows the break is
  // predictable: the decoder waits for the next frame.
  CardCode SafeCode() {
    for (;;) {
      const CardCode code = Code();
      const QByteArray data = Data(code);
      if (std::none_of(data.begin(), data.end(), [](char c) { return IsStartFlag(static_cast<unsigned char>(c)); }))
        return code;
    }
  }
  static QByteArray Data(CardCode code) {
    const char bytes[] = {char(code.first >> 8), char(code.first), char(code.second >> 16), char(code.second >> 8),
                          char(code.second)};
    return QByteArray(bytes, sizeof bytes);
  }
  static QByteArray Frame(CardCode code) {
    const QByteArray data = Data(code);
    unsigned char sum = 0;
    for (char c : data) sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(c));
    return QByteArray("\xF5\x06", 2) + data + char(sum) + char(0xFA);
  }
  QByteArray Noise() {
    QByteArray noise;
    for (int n = 1 + Pick(6); noise.size() < n;) {
      const auto b = static_cast<unsigned char>(Pick(256));
      if (!IsStartFlag(b)) noise.append(char(b));
    }
    return noise;
  }
  static QString CodeText(CardCode code) { return QString("%1:%2").arg(code.first).arg(code.second); }

  std::mt19937 random_;
};

class Soak : public SessionFixture {
 protected:
  int LogLines() { return int(Form().Memo1->lineCount()); }
  bool DecoderIdle() { return Form().Protocol().State().DecoderState == 0 && !Form().Timer1->isActive(); }
};

// Thousands of good frames among noise and broken frames, placed the way a
// line recovers: every good frame is shown and answered exactly once, every
// broken one leaves only what the decoder says it leaves.
TEST_F(Soak, GoodFramesAmongNoiseAndFaults) {
  ConnectToReader({"--no-powerup", "--family", "F5"}, 0, AutoBeep::Off);
  ASSERT_FALSE(reader->Next("tx - status").isEmpty());
  ASSERT_EQ(Log(), QStringList{"Yorvel series"});
  const int logStart = 1;
  const int outStart = int(reader->Lines().size());

  const std::vector<Step> steps = Plan(kSeed).Make();
  DecoderModel model(false);
  std::vector<bool> answered;
  QElapsedTimer clock;
  clock.start();
  int faults = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    reader->Control(step.control);
    const QString sent = reader->Next("tx - ");
    ASSERT_FALSE(sent.isEmpty()) << "step " << i << ": " << step.control.toStdString();
    QElapsedTimer quiet;
    quiet.start();
    const int cardsBefore = model.cards;
    model.Feed(BytesOfHex(sent.section(" : ", 1)));
    if (step.brokenOrStray) model.Silence();
    ASSERT_EQ(model.cards - cardsBefore, step.goodCard ? 1 : 0) << "step " << i << ": " << sent.toStdString();
    answered.push_back(step.goodCard);
    faults += step.brokenOrStray;

    const bool done = QTest::qWaitFor(
        [&] {
          if (LogLines() < logStart + model.lines.size()) return false;
          if (!reader->AwaitCount(outStart, "cmd - 0", model.cards, 0)) return false;
          return !step.brokenOrStray || (quiet.elapsed() >= kQuietAfterFaultMs && DecoderIdle());
        },
        20000);
    ASSERT_TRUE(done) << "step " << i << " (" << sent.toStdString() << ") did not finish; log has "
                      << LogLines() - logStart << " lines, the model " << model.lines.size();
    if (i % 250 == 0 || i + 1 == steps.size()) {
      std::printf("soak: step %zu of %zu, %d cards, %d faults, %.1f s\n", i + 1, steps.size(), model.cards, faults,
                  clock.elapsed() / 1000.0);
      std::fflush(stdout);
    }
  }
  Settle();

  EXPECT_EQ(model.cards, kGoodFrames);
  const QStringList log = Log().mid(logStart);
  ASSERT_EQ(log.size(), model.lines.size());
  for (qsizetype i = 0; i < log.size(); ++i) ASSERT_EQ(log[i], model.lines[i]) << "log line " << i + logStart;
  EXPECT_EQ(CommandsSince(outStart), QStringList(kGoodFrames, "- 0"));
  EXPECT_TRUE(reader->Since(outStart, "junk ").isEmpty());
  EXPECT_TRUE(boxes.empty());

  // From the transcript: after each burst of the run, exactly one event
  // response before the next burst for a good frame, nothing for the rest.
  const std::vector<Burst> bursts = ReadTranscript(TranscriptPath());
  // The first burst the reader sent is its status reply at Connect.
  std::vector<QByteArray> answers;
  int sent = 0;
  for (const Burst& burst : bursts) {
    if (burst.sent && ++sent > 1) answers.emplace_back();
    if (!burst.sent && !answers.empty()) answers.back() += burst.bytes;
  }
  ASSERT_EQ(answers.size(), steps.size());
  for (std::size_t i = 0; i < steps.size(); ++i)
    ASSERT_EQ(HexOf(answers[i]), answered[i] ? "7E 30" : "") << "burst " << i << ": " << steps[i].control.toStdString();
}

// For a minute the reader's line goes and comes back at random, now and then
// while an event response is on its way, and cards arrive while it is there.
// With reconnect on: every card is shown and answered once, nothing is
// reported in a box, and the log has one line for each loss and each return.
TEST_F(Soak, LineComingAndGoingForAMinute) {
  const QTemporaryDir folder;
  const LastingLine line = LastingLineAt(folder.filePath("line"));
  reconnect = true;
  StartReader(line.arguments + QStringList{"--no-powerup"});
  PointCom1At(line.device);
  Form().SetModelIndex(0);
  Connect();
  std::mt19937 random(kSeed);
  const auto pick = [&](int low, int high) { return std::uniform_int_distribution<>(low, high)(random); };
  int cards = 0;
  int losses = 0;
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 60000) {
    for (int n = pick(1, 6); n > 0; --n) {
      reader->Control(QString("card %1:%2").arg(pick(0, 65535)).arg(pick(0, (1 << 24) - 1)));
      ++cards;
      if (n == 1) break;  // the last card's answer meets the line's end below
      ASSERT_TRUE(reader->AwaitCount(0, "cmd - 0", cards)) << "card " << cards << " was not answered";
      QTest::qWait(pick(0, 300));
    }
    // The line goes a moment after the last card's "0" went out, often while
    // the rest of its answer is still on its way; the watch runs inside the
    // window's waits.
    QTimer watch;
    const int delay = pick(0, 250);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (reader->Since(0, "cmd - 0").size() < cards) return;
      watch.stop();
      QTimer::singleShot(delay, &watch, [&] { reader->Control("hangup"); });
    });
    watch.start(5);
    ++losses;
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogCount("COM1 lost: ") == losses; }, 10000)) << "loss " << losses;
    QTest::qWait(pick(0, 3000));
    reader->Control("reopen");
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogCount("COM1 reconnected after ") == losses; }, 10000))
        << "return " << losses;
  }
  Settle();
  std::printf("soak: %d cards, %d losses (%d found by a write) and returns in %.1f s\n", cards, losses,
              LogCount("COM1 lost: WriteFile"), clock.elapsed() / 1000.0);
  EXPECT_EQ(reader->Since(0, "cmd - 0").size(), cards);
  EXPECT_EQ(Log().filter(QRegularExpression("^\\d{5}:\\d{10}$")).size(), cards);
  EXPECT_EQ(LogCount("COM1 lost: "), losses);
  EXPECT_EQ(LogCount("COM1 reconnected after "), losses);
  EXPECT_TRUE(boxes.empty()) << boxes.front().text.toStdString();
}

}  // namespace
