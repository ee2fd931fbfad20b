#include "Ser2netSession.h"

Ser2netSession::~Ser2netSession() {
  DestroyForm();
  StopServer();
}

void Ser2netSession::StartServer(bool rfc2217, bool kickOldUser) {
  ASSERT_EQ(server_.Start(reader->Device(), {.rfc2217 = rfc2217, .kickOldUser = kickOldUser}), "");
  PointCom1At(server_.Name());
}
