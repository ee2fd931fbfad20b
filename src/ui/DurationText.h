#pragma once

#include <QString>
#include <chrono>

// How long something lasted, as the log says it: "0.8 s" under a minute,
// "3 min 5 s" under an hour, "2 h 14 min" beyond.
QString DurationText(std::chrono::milliseconds length);
