#include "SessionFixture.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>

SessionFixture::SessionFixture() = default;

SessionFixture::~SessionFixture() {
  form_.reset();
  reader.reset();
}

VirtualReader& SessionFixture::StartReader(QStringList arguments) {
  arguments << "--transcript" << TranscriptPath();
  reader = std::make_unique<VirtualReader>(arguments);
  PointCom1At(reader->Device());
  return *reader;
}

void SessionFixture::PointCom1At(const QString& device) {
  QFile file(dir_.filePath("trellum.INI"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write("[Settings]\nPort=0\n[Ports]\nCOM1=" + device.toLocal8Bit() + "\n");
}

TForm1Setup SessionFixture::WindowSetup() {
  TForm1Setup setup;
  setup.settingsPath = dir_.filePath("trellum.INI");
  setup.reconnect = reconnect;
  setup.messages = {[this](const QString& caption, const QString& text, MessageIcon) {
                      boxes.push_back({caption, text});
                    },
                    [this] { ++beeps; }};
  return setup;
}

TForm1& SessionFixture::Form() {
  if (!form_) form_ = std::make_unique<TForm1>(WindowSetup());
  return *form_;
}

void SessionFixture::DestroyForm() { form_.reset(); }

void SessionFixture::Connect() {
  Form().Button4->click();
  ASSERT_EQ(Form().Button4->text(), "Disconnect");
}

void SessionFixture::Disconnect() {
  Form().Button4->click();
  ASSERT_EQ(Form().Button4->text(), "Connect");
}

QStringList SessionFixture::Log() const {
  if (!form_) return {};
  return form_->Memo1->toPlainText().split('\n', Qt::SkipEmptyParts);
}

int SessionFixture::LogCount(const QString& prefix) const {
  const QStringList log = Log();
  return int(std::count_if(log.begin(), log.end(), [&](const QString& line) { return line.startsWith(prefix); }));
}

bool SessionFixture::AwaitLogSize(int lines, int timeoutMs) {
  return QTest::qWaitFor([&] { return Log().size() >= lines; }, timeoutMs);
}

void SessionFixture::ConnectToReader(const QStringList& readerArguments, int model, AutoBeep beep) {
  StartReader(readerArguments);
  Form().SetModelIndex(model);
  if (beep == AutoBeep::Off) Form().cbAutoBeep->setChecked(false);
  Connect();
  Settle();
}

void SessionFixture::Settle(int quietMs) {
  QElapsedTimer quiet;
  quiet.start();
  qsizetype logLength = -1;
  qsizetype output = -1;
  const bool settled = QTest::qWaitFor(
      [&] {
        const qsizetype nowLength = Form().Memo1->toPlainText().size();
        const qsizetype nowOutput = reader ? reader->Lines().size() : 0;
        const bool idle = Form().Protocol().State().DecoderState == 0 && !Form().Timer1->isActive();
        if (nowLength != logLength || nowOutput != output || !idle) {
          logLength = nowLength;
          output = nowOutput;
          quiet.restart();
          return false;
        }
        return quiet.elapsed() >= quietMs;
      },
      30000);
  ASSERT_TRUE(settled) << "the window never went quiet";
}

void SessionFixture::ExpectLogFrom(int from, const QStringList& expected) {
  AwaitLogSize(from + int(expected.size()));
  Settle();
  EXPECT_EQ(Log().mid(from), expected);
}

QStringList SessionFixture::CommandsSince(int from) const {
  QStringList commands;
  for (const QString& line : reader->Since(from, "cmd ")) commands.append(line.mid(4));
  return commands;
}

QStringList EventResponse(const QString& id) { return {id + " 0", id + " L", id + " 1", id + " l"}; }
