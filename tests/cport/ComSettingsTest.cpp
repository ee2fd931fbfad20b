#include <gtest/gtest.h>

#include "ComSettings.h"
#include "SerialDevice.h"

TEST(ComSettingsTest, BufferSizesRoundPositiveOddDown) {
  TComBuffer buffer;
  buffer.SetInputSize(1025);
  EXPECT_EQ(buffer.InputSize(), 1024);
  buffer.SetOutputSize(1);
  EXPECT_EQ(buffer.OutputSize(), 0);
  buffer.SetOutputSize(2047);
  EXPECT_EQ(buffer.OutputSize(), 2046);
  buffer.SetInputSize(-3);
  EXPECT_EQ(buffer.InputSize(), -3);
  buffer.SetInputSize(0);
  EXPECT_EQ(buffer.InputSize(), 0);
  buffer.SetInputSize(2147483647);
  EXPECT_EQ(buffer.InputSize(), 2147483646);
}

struct FlowFields {
  TRTSFlowControl rts;
  bool cts;
  bool xonIn;
  bool xonOut;
  TFlowControl expected;
};

void PrintTo(const FlowFields& f, std::ostream* os) {
  *os << "rts" << f.rts << (f.cts ? "-cts" : "") << (f.xonIn ? "-in" : "") << (f.xonOut ? "-out" : "");
}

class FlowControlReading : public ::testing::TestWithParam<FlowFields> {};

TEST_P(FlowControlReading, SummarisesRtsCtsAndXonXoff) {
  const FlowFields f = GetParam();
  TComFlowControl flow;
  flow.SetControlRTS(f.rts);
  flow.SetOutCTSFlow(f.cts);
  flow.SetXonXoffIn(f.xonIn);
  flow.SetXonXoffOut(f.xonOut);
  // Fields that play no part in the summary.
  flow.SetControlDTR(dtrHandshake);
  flow.SetOutDSRFlow(true);
  EXPECT_EQ(flow.FlowControl(), f.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, FlowControlReading,
                         ::testing::Values(FlowFields{rtsHandshake, true, false, false, fcHardware},
                                           FlowFields{rtsHandshake, true, true, false, fcCustom},
                                           FlowFields{rtsEnable, true, false, false, fcCustom},
                                           FlowFields{rtsDisable, false, true, true, fcSoftware},
                                           FlowFields{rtsDisable, false, true, false, fcCustom},
                                           FlowFields{rtsDisable, true, true, true, fcCustom},
                                           FlowFields{rtsDisable, false, false, false, fcNone},
                                           FlowFields{rtsToggle, false, false, false, fcCustom},
                                           FlowFields{rtsHandshake, false, false, false, fcCustom}));

TEST(ComSettingsTest, WritingFlowControlRewritesOnlyItsFields) {
  TComFlowControl flow;
  flow.SetControlDTR(dtrEnable);
  flow.SetXonChar('A');
  flow.SetFlowControl(fcHardware);
  EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
  EXPECT_TRUE(flow.OutCTSFlow());
  EXPECT_FALSE(flow.XonXoffIn());
  EXPECT_EQ(flow.FlowControl(), fcHardware);

  flow.SetFlowControl(fcSoftware);
  EXPECT_EQ(flow.ControlRTS(), rtsDisable);
  EXPECT_FALSE(flow.OutCTSFlow());
  EXPECT_TRUE(flow.XonXoffIn());
  EXPECT_TRUE(flow.XonXoffOut());

  flow.SetControlRTS(rtsToggle);
  flow.SetFlowControl(fcCustom);
  EXPECT_EQ(flow.ControlRTS(), rtsToggle);
  EXPECT_TRUE(flow.XonXoffIn());

  flow.SetFlowControl(fcNone);
  EXPECT_EQ(flow.FlowControl(), fcNone);
  EXPECT_EQ(flow.ControlDTR(), dtrEnable);
  EXPECT_EQ(flow.XonChar(), 'A');
}

TEST(ComSettingsTest, CopyTakesFieldsButNotOwner) {
  TComTimeouts a;
  a.SetReadInterval(5);
  a.SetWriteTotalConstant(200);
  TComTimeouts b(a);
  EXPECT_EQ(b.ReadInterval(), 5);
  EXPECT_EQ(b.WriteTotalConstant(), 200);
  EXPECT_EQ(b.WriteTotalMultiplier(), 100);

  TComParity p;
  p.SetBits(prMark);
  p.SetReplaceChar('?');
  TComParity q;
  q = p;
  EXPECT_EQ(q.Bits(), prMark);
  EXPECT_EQ(q.ReplaceChar(), '?');
}

TEST(ComSettingsTest, EventMaskBothWays) {
  EXPECT_EQ(EventsToMask(kAllComEvents), 0x5FFu);
  EXPECT_EQ(EventsToMask(TComEvents{evRxChar}), 0x1u);
  EXPECT_EQ(EventsToMask(TComEvents{evRxFlag, evRLSD}), 0x22u);
  EXPECT_EQ(EventsToMask({}), 0u);
  EXPECT_EQ(MaskToEvents(0x5FF), kAllComEvents);
  // 0x200 (EV_RX80FULL's neighbour) and higher bits are not events of the component.
  EXPECT_EQ(MaskToEvents(0x200 | 0x800 | serialdev::EV_BREAK), TComEvents{evBreak});
  for (unsigned e = 0; e <= evRx80Full; ++e) {
    const TComEvents one{static_cast<TComEvent>(e)};
    EXPECT_EQ(MaskToEvents(EventsToMask(one)), one) << e;
  }
}

TEST(ComSettingsTest, BaudRateValues) {
  EXPECT_EQ(BaudRateValue(brCustom), 0u);
  EXPECT_EQ(BaudRateValue(br110), 110u);
  EXPECT_EQ(BaudRateValue(br9600), 9600u);
  EXPECT_EQ(BaudRateValue(br56000), 56000u);
  EXPECT_EQ(BaudRateValue(br256000), 256000u);
}
