#include "JUnitReport.h"

#include <QSaveFile>
#include <QXmlStreamWriter>

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }
QString Seconds(double seconds) { return QString::number(seconds, 'f', 3); }

// A testcase "line" whose error says why the line ended.
void WriteLineError(QXmlStreamWriter& xml, const QString& classname, const std::string& why) {
  xml.writeStartElement("testcase");
  xml.writeAttribute("classname", classname);
  xml.writeAttribute("name", "line");
  xml.writeAttribute("time", Seconds(0));
  xml.writeStartElement("error");
  xml.writeAttribute("message", Text(why));
  xml.writeCharacters(Text(why));
  xml.writeEndElement();
  xml.writeEndElement();
}

}  // namespace

bool WriteJUnit(const std::string& path, const StationResult& result) {
  QSaveFile file(QString::fromLocal8Bit(path.c_str()));
  if (!file.open(QIODevice::WriteOnly)) return false;
  QXmlStreamWriter xml(&file);
  xml.setAutoFormatting(true);
  xml.writeStartDocument();
  int tests = 0, failures = 0, skipped = 0, errors = 0;
  double time = 0;
  for (const RunResult& run : result.runs) {
    for (const StepResult& step : run.steps) {
      ++tests;
      failures += step.verdict == StepResult::Fail;
      skipped += step.verdict == StepResult::Skip;
    }
    errors += !run.lost.empty();
    time += run.seconds;
  }
  tests += errors;
  tests += static_cast<int>(result.errors.size());
  errors += static_cast<int>(result.errors.size());
  xml.writeStartElement("testsuites");
  xml.writeAttribute("name", "trellum-check");
  xml.writeAttribute("tests", QString::number(tests));
  xml.writeAttribute("failures", QString::number(failures));
  xml.writeAttribute("errors", QString::number(errors));
  xml.writeAttribute("skipped", QString::number(skipped));
  xml.writeAttribute("time", Seconds(time));
  for (const RunResult& run : result.runs) {
    int runFailures = 0, runSkipped = 0;
    for (const StepResult& step : run.steps) {
      runFailures += step.verdict == StepResult::Fail;
      runSkipped += step.verdict == StepResult::Skip;
    }
    const bool lost = !run.lost.empty();
    const QString classname = "trellum-check." + Text(run.reader);
    xml.writeStartElement("testsuite");
    xml.writeAttribute("name", Text(run.title));
    xml.writeAttribute("tests", QString::number(run.steps.size() + (lost ? 1 : 0)));
    xml.writeAttribute("failures", QString::number(runFailures));
    xml.writeAttribute("errors", lost ? "1" : "0");
    xml.writeAttribute("skipped", QString::number(runSkipped));
    xml.writeAttribute("time", Seconds(run.seconds));
    xml.writeAttribute("timestamp", Text(run.started));
    for (const StepResult& step : run.steps) {
      xml.writeStartElement("testcase");
      xml.writeAttribute("classname", classname);
      xml.writeAttribute("name", Text(step.name));
      xml.writeAttribute("time", Seconds(step.seconds));
      if (step.verdict == StepResult::Fail) {
        xml.writeStartElement("failure");
        xml.writeAttribute("message", Text(step.reason));
        xml.writeCharacters(Text(step.bytes));
        xml.writeEndElement();
      } else if (step.verdict == StepResult::Skip) {
        xml.writeStartElement("skipped");
        xml.writeAttribute("message", Text(step.reason));
        xml.writeEndElement();
      }
      xml.writeTextElement("system-out", Text(step.reason + "\n" + step.bytes));
      xml.writeEndElement();
    }
    if (lost) WriteLineError(xml, classname, "the line was lost: " + run.lost);
    if (!run.cards.empty() || !run.restored.empty()) {
      std::string out = "restored " + run.restored + "\n";
      for (const std::string& card : run.cards) out += "card " + card + "\n";
      xml.writeTextElement("system-out", Text(out));
    }
    xml.writeEndElement();
  }
  for (const LineError& error : result.errors) {
    const std::string name = error.port + (error.id ? " ID " + std::to_string(*error.id) : "");
    xml.writeStartElement("testsuite");
    xml.writeAttribute("name", Text(name));
    xml.writeAttribute("tests", "1");
    xml.writeAttribute("failures", "0");
    xml.writeAttribute("errors", "1");
    xml.writeAttribute("skipped", "0");
    xml.writeAttribute("time", Seconds(0));
    WriteLineError(xml, "trellum-check." + Text(error.port), LineErrorText(error));
    xml.writeEndElement();
  }
  xml.writeEndElement();
  xml.writeEndDocument();
  return !xml.hasError() && file.commit();
}
