#pragma once

#include <QStringList>
#include <QTemporaryDir>

#include "Ser2netServer.h"
#include "SessionFixture.h"

// The window reaching the virtual reader through ser2net on 127.0.0.1, which
// runs with the pseudo-terminal shim preloaded: its RTS changes and its
// writes to the reader's line are logged in order.
class Ser2netSession : public SessionFixture {
 protected:
  ~Ser2netSession() override;

  // Starts ser2net in front of the reader's line, RFC 2217 or raw, and
  // points COM1 at it.
  void StartServer(bool rfc2217, bool kickOldUser = true);
  void StopServer() { server_.Stop(); }
  QStringList ShimEntries() const { return server_.ShimEntries(); }
  // After the server's way back: the window connects again by itself within
  // `withinMs` (its status request reaches the reader after the reader's
  // line `out`), answers the next card, and has logged one loss and one
  // return, with no box.
  void ExpectReconnectAndACardAnswered(int out, int withinMs);

  QTemporaryDir work_{QStringLiteral(TRELLUM_TEST_WORK "/ser2net-XXXXXX")};
  Ser2netServer server_{work_.path()};
};
