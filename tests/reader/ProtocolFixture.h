#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeEventLoop.h"
#include "PlainPanel.h"
#include "ReaderProtocol.h"
#include "RecordingLink.h"

// "02 06 01" as bytes, and back.
std::string Bytes(const std::string& hex);
std::string Hex(const std::string& bytes);

// A panel that also notes how many wire events had happened when each log
// line was written, so that tests can order lines against commands.
class RecordingPanel : public PlainPanel {
 public:
  RecordingPanel(FakeEventLoop& loop, const RecordingLink& link) : PlainPanel(loop), link_(link) {}
  void AppendLog(const std::string& line) override {
    PlainPanel::AppendLog(line);
    wireAtLine.push_back(link_.wire.size());
  }
  std::vector<std::size_t> wireAtLine;

 private:
  const RecordingLink& link_;
};

class ProtocolTest : public ::testing::Test {
 protected:
  ProtocolTest() { panel.Attach(protocol); }

  void Receive(const std::string& hex) { link.Deliver(protocol, Bytes(hex)); }
  void ReceiveText(const std::string& text) { link.Deliver(protocol, text); }

  // The commands on the wire, one hex string per RTS cycle ("7E 30"); adds a
  // failure for each cycle whose timing is wrong: RTS on, more than 2 ms,
  // the writes, more than 50 ms, RTS off. A drop of RTS outside a cycle (the
  // decoder's reset) is skipped.
  std::vector<std::string> Commands() const;

  FakeEventLoop loop;
  RecordingLink link{loop};
  RecordingPanel panel{loop, link};
  ReaderProtocol protocol{panel, link, loop.Clock()};
};

using Lines = std::vector<std::string>;
