#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

class CheckLine;

// The reader models by their number.
inline constexpr const char* kModelNames[] = {"Alvex", "Brenta", "Corvan"};

struct TestSettings {
  int model = 1;  // 0 Alvex, 1 Brenta, 2 Corvan
  unsigned speed = 9600;
  int format = 3;             // "Mode 0".."Mode 3"
  std::optional<int> id;      // ID mode with this reader's ID
  int cards = 1;              // card codes to read
  int cardTimeout = 10;       // seconds for the cards, and for the switch
  bool lock = false;          // answer cards with "Control Lock"
  bool switchStep = false;    // ask for a switch close and open
  bool bus = false;           // one reader of several on the line: one that does not answer is tried no further
};

struct StepResult {
  enum Verdict { Pass, Fail, Skip };
  std::string name;
  Verdict verdict = Pass;
  std::string reason;  // why it failed or was skipped; what was seen when it passed
  std::string bytes;   // what crossed the line during the step
  double seconds = 0;
};

struct RunResult {
  std::string port;
  std::optional<int> id;  // in ID mode
  std::string reader;     // the port, speed, format and ID tested
  std::string title;      // its name in the JUnit file and the report
  std::string started;    // local time, ISO 8601
  std::vector<StepResult> steps;
  std::vector<std::string> cards;  // the card codes read
  std::string restored;            // what was put back at the end
  double seconds = 0;
  bool stopped = false;
  std::string lost;  // why the line went away during the run; empty while it stayed

  bool Passed() const;
  // The first step that failed, if any.
  const StepResult* FailedStep() const;
};

// Times of the run: a reply must come within kReplyTime of its request; a
// relay pulse of N seconds must show on at once and off again between
// N s - kPulseEarly and N s + kPulseLate after its command.
inline constexpr int kReplyTime = 500;
inline constexpr int kPulseEarly = 200;
inline constexpr int kPulseLate = 500;

// Tests the reader on the line step by step, then puts its options and
// outputs back as they were found, also after a failure or a stop. Opens the
// line at the settings' speed and closes it at the end. A port error that
// stops the open is raised (EComPort); later ones fail the step they hit. A
// line that goes away ends the run: the steps after the one it hit are not
// tried. On a bus, so is every step after a status request nobody answered.
RunResult RunAcceptance(CheckLine& line, const TestSettings& settings, std::ostream& progress);

// The steps, one a line ("PASS 1 status: ..."), the card codes and the verdict.
void PrintRun(std::ostream& out, const RunResult& run);

const char* VerdictText(StepResult::Verdict verdict);
