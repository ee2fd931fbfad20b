#pragma once

class TComPort;

// The line every reader of the family uses, whatever its speed: eight data
// bits, no parity, one stop bit, every event, and no flow control, so that
// RTS and DTR stay where the program puts them (RTS keys an RS-485 converter).
void SetReaderLine(TComPort& port);
