#include "JUnitReport.h"

#include <QSaveFile>
#include <QXmlStreamWriter>

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }
QString Seconds(double seconds) { return QString::number(seconds, 'f', 3); }

}  // namespace

bool WriteJUnit(const std::string& path, const std::vector<RunResult>& runs) {
  QSaveFile file(QString::fromLocal8Bit(path.c_str()));
  if (!file.open(QIODevice::WriteOnly)) return false;
  QXmlStreamWriter xml(&file);
  xml.setAutoFormatting(true);
  xml.writeStartDocument();
  int tests = 0, failures = 0, skipped = 0;
  double time = 0;
  for (const RunResult& run : runs) {
    for (const StepResult& step : run.steps) {
      ++tests;
      failures += step.verdict == StepResult::Fail;
      skipped += step.verdict == StepResult::Skip;
    }
    time += run.seconds;
  }
  xml.writeStartElement("testsuites");
  xml.writeAttribute("name", "trellum-check");
  xml.writeAttribute("tests", QString::number(tests));
  xml.writeAttribute("failures", QString::number(failures));
  xml.writeAttribute("errors", "0");
  xml.writeAttribute("skipped", QString::number(skipped));
  xml.writeAttribute("time", Seconds(time));
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const RunResult& run = runs[i];
    int runFailures = 0, runSkipped = 0;
    for (const StepResult& step : run.steps) {
      runFailures += step.verdict == StepResult::Fail;
      runSkipped += step.verdict == StepResult::Skip;
    }
    xml.writeStartElement("testsuite");
    xml.writeAttribute("name", QStringLiteral("run %1: %2").arg(i + 1).arg(Text(run.reader)));
    xml.writeAttribute("tests", QString::number(run.steps.size()));
    xml.writeAttribute("failures", QString::number(runFailures));
    xml.writeAttribute("errors", "0");
    xml.writeAttribute("skipped", QString::number(runSkipped));
    xml.writeAttribute("time", Seconds(run.seconds));
    xml.writeAttribute("timestamp", Text(run.started));
    for (const StepResult& step : run.steps) {
      xml.writeStartElement("testcase");
      xml.writeAttribute("classname", "trellum-check." + Text(run.reader));
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
    if (!run.cards.empty() || !run.restored.empty()) {
      std::string out = "restored " + run.restored + "\n";
      for (const std::string& card : run.cards) out += "card " + card + "\n";
      xml.writeTextElement("system-out", Text(out));
    }
    xml.writeEndElement();
  }
  xml.writeEndElement();
  xml.writeEndDocument();
  return !xml.hasError() && file.commit();
}
