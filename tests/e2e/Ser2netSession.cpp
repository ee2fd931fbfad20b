#include "Ser2netSession.h"

Ser2netSession::~Ser2netSession() {
  DestroyForm();
  StopServer();
}

void Ser2netSession::StartServer(bool rfc2217, bool kickOldUser) {
  ASSERT_EQ(server_.Start(reader->Device(), {.rfc2217 = rfc2217, .kickOldUser = kickOldUser}), "");
  PointCom1At(server_.Name());
}

void Ser2netSession::ExpectReconnectAndACardAnswered(int out, int withinMs) {
  ASSERT_TRUE(reader->AwaitCount(out, "cmd - ?", 1, withinMs)) << "no reconnect";
  reader->Control("card 1:2");
  ASSERT_TRUE(reader->AwaitCount(out, "cmd - 0", 1));
  Settle();
  EXPECT_TRUE(Log().contains("00001:0000000002"));
  EXPECT_EQ(LogCount("COM1 lost: "), 1);
  EXPECT_EQ(LogCount("COM1 reconnected after "), 1);
  EXPECT_TRUE(boxes.empty()) << boxes.front().text.toStdString();
}
