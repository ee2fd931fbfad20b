#pragma once

#include <ostream>
#include <string>

// Prints the machine's serial ports for --list-ports, one a line, fields
// separated by tabs and "-" for an empty one: device, kind (uart, usb, other),
// COMn ("-" for none), access ("yes" when the user may open it for reading
// and writing, else "no"), the group that may open it when the user may not,
// console ("console" or "-"), USB vendor:product, maker, product, serial
// number, stable name. `root` is prefixed to every system path read.
// On Windows the list holds the COMn that the system names, in the order of
// their numbers, with the device path, the kind and the name; `root` does
// not apply there.
void ListPorts(std::ostream& out, const std::string& root = {});
