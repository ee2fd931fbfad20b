#include "HtmlReport.h"

#include <QDateTime>
#include <QSaveFile>
#include <QSysInfo>
#include <QXmlStreamWriter>

namespace {

// Colour only repeats what the words say (and the style holds no character
// that the XML writer would escape: a browser reads a style as it stands): the verdicts are words in bold,
// and a printed page keeps each reader's steps together where it can.
constexpr const char* kStyle = R"css(
body { font-family: DejaVu Sans, Liberation Sans, Arial, sans-serif; font-size: 10.5pt; color: #111;
       max-width: 60em; margin: 2em auto; padding: 0 1em; }
h1 { font-size: 18pt; margin: 0 0 .3em; }
h2 { font-size: 13pt; margin: 1.4em 0 .4em; border-bottom: 1px solid #888; }
h3 { font-size: 11pt; margin: 1.2em 0 .3em; }
table { border-collapse: collapse; width: 100%; }
th, td { border: 1px solid #999; padding: .25em .45em; text-align: left; vertical-align: top; }
th { background: #eee; }
table.facts { width: auto; }
table.facts th { width: 11em; }
td.num { text-align: right; white-space: nowrap; }
table.steps { table-layout: fixed; }
table.steps th:nth-child(1) { width: 8.5em; }
table.steps th:nth-child(2) { width: 5em; }
table.steps th:nth-child(4) { width: 5em; }
.verdict { font-weight: bold; white-space: nowrap; }
tr.pass .verdict { background: #dff0d8; }
tr.fail .verdict, tr.error .verdict { background: #f8d7da; }
tr.skip .verdict { background: #f2f2f2; }
code { font-family: DejaVu Sans Mono, Liberation Mono, monospace; font-size: 8.5pt; word-break: break-all; }
p.note { margin: .2em 0; }
footer { margin-top: 2em; font-size: 8.5pt; color: #444; }
@page { size: A4; margin: 15mm; }
@media print {
  body { margin: 0; max-width: none; padding: 0; font-size: 9.5pt; }
  section.reader { break-inside: avoid; }
  tr { break-inside: avoid; }
  th, tr.pass .verdict, tr.fail .verdict, tr.error .verdict, tr.skip .verdict {
    -webkit-print-color-adjust: exact; print-color-adjust: exact; }
}
)css";

QString Text(const std::string& text) { return QString::fromStdString(text); }
QString Seconds(double seconds) { return QString::number(seconds, 'f', 1); }
QString IdText(const std::optional<int>& id) { return id ? QString::number(*id) : QStringLiteral("–"); }

class Page {
 public:
  explicit Page(QXmlStreamWriter& xml) : xml_(xml) {}

  // An element never empty: <td/> is no empty cell to a browser.
  void Element(const char* name, const QString& text, const char* cls = nullptr) {
    xml_.writeStartElement(name);
    if (cls) xml_.writeAttribute("class", cls);
    xml_.writeCharacters(text.isEmpty() ? QStringLiteral(" ") : text);
    xml_.writeEndElement();
  }
  void Open(const char* name, const char* cls = nullptr) {
    xml_.writeStartElement(name);
    if (cls) xml_.writeAttribute("class", cls);
  }
  void Close() { xml_.writeEndElement(); }
  void Row(std::initializer_list<QString> cells, const char* tag = "td") {
    Open("tr");
    for (const QString& cell : cells) Element(tag, cell);
    Close();
  }
  void Fact(const QString& name, const QString& value) {
    Open("tr");
    Element("th", name);
    Element("td", value);
    Close();
  }

 private:
  QXmlStreamWriter& xml_;
};

const char* RowClass(StepResult::Verdict verdict) {
  switch (verdict) {
    case StepResult::Pass: return "pass";
    case StepResult::Fail: return "fail";
    case StepResult::Skip: return "skip";
  }
  return "";
}

}  // namespace

bool WriteHtmlReport(const std::string& path, const CheckOptions& options, const std::string& started,
                     const StationResult& result) {
  QSaveFile file(QString::fromLocal8Bit(path.c_str()));
  if (!file.open(QIODevice::WriteOnly)) return false;
  QXmlStreamWriter xml(&file);
  xml.setAutoFormatting(true);
  xml.writeDTD("<!DOCTYPE html>");
  Page page(xml);
  xml.writeStartElement("html");
  xml.writeDefaultNamespace("http://www.w3.org/1999/xhtml");
  xml.writeAttribute("lang", "en");
  page.Open("head");
  xml.writeEmptyElement("meta");
  xml.writeAttribute("charset", "utf-8");
  page.Element("title", "Commissioning report");
  page.Element("style", kStyle);
  page.Close();

  page.Open("body");
  page.Element("h1", "Commissioning report");
  std::size_t passed = 0;
  for (const RunResult& run : result.runs) passed += run.Passed();
  const bool allPassed = passed == result.runs.size() && result.errors.empty() && !result.runs.empty();

  page.Open("table", "facts");
  page.Fact("Date and time", QDateTime::fromString(Text(started), Qt::ISODate).toString("yyyy-MM-dd HH:mm:ss t"));
  page.Fact("Machine", QSysInfo::machineHostName() + " (" + QSysInfo::prettyProductName() + ")");
  page.Fact("Program", "trellum-check " TRELLUM_VERSION);
  page.Fact("Model", kModelNames[options.test.model]);
  page.Fact("Speed", QString::number(options.test.speed) + " bit/s, Mode " + QString::number(options.test.format));
  QString lines;
  for (const std::string& port : options.ports) lines += (lines.isEmpty() ? "" : ", ") + Text(port);
  page.Fact(options.ports.size() == 1 ? "Line" : "Lines", lines);
  QString verdict = QString("%1 of %2 %3 passed").arg(passed).arg(result.runs.size())
                        .arg(result.runs.size() == 1 ? "reader" : "readers");
  if (!result.errors.empty()) verdict += QString("; %1 not opened").arg(result.errors.size() == 1 ? "1 line" : QString::number(result.errors.size()) + " lines");
  page.Open("tr");
  page.Element("th", "Result");
  page.Open("td", "verdict");
  page.Element("strong", (allPassed ? "PASSED: " : "FAILED: ") + verdict);
  page.Close();
  page.Close();
  page.Close();

  page.Element("h2", "Readers");
  page.Open("table", "readers");
  page.Open("thead");
  page.Row({"Port", "ID", "Verdict", "Failed step", "Reason", "Seconds"}, "th");
  page.Close();
  page.Open("tbody");
  for (const RunResult& run : result.runs) {
    const StepResult* failed = run.FailedStep();
    QString reason = failed ? Text(failed->reason) : run.stopped ? QStringLiteral("stopped") : QString();
    if (!run.lost.empty()) reason += (reason.isEmpty() ? "" : "; ") + QString("line lost: ") + Text(run.lost);
    page.Open("tr", run.Passed() ? "pass" : "fail");
    page.Element("td", Text(run.port));
    page.Element("td", IdText(run.id));
    page.Element("td", run.Passed() ? "PASS" : "FAIL", "verdict");
    page.Element("td", failed ? Text(failed->name) : QStringLiteral("–"));
    page.Element("td", reason);
    page.Element("td", Seconds(run.seconds), "num");
    page.Close();
  }
  for (const LineError& error : result.errors) {
    page.Open("tr", "error");
    page.Element("td", Text(error.port));
    page.Element("td", IdText(error.id));
    page.Element("td", "NOT OPENED", "verdict");
    page.Element("td", "–");
    page.Element("td", Text(LineErrorText(error)));
    page.Element("td", "–", "num");
    page.Close();
  }
  page.Close();
  page.Close();

  page.Element("h2", "Steps of each reader");
  for (const RunResult& run : result.runs) {
    page.Open("section", "reader");
    page.Element("h3", Text(run.title) + " — " + (run.Passed() ? "PASS" : "FAIL"));
    page.Element("p", "Reader " + Text(run.reader) + ", started " + Text(run.started) + ", " + Seconds(run.seconds) + " s.",
                 "note");
    page.Open("table", "steps");
    page.Open("thead");
    page.Row({"Step", "Verdict", "What was seen", "Seconds"}, "th");
    page.Close();
    page.Open("tbody");
    for (const StepResult& step : run.steps) {
      page.Open("tr", RowClass(step.verdict));
      page.Element("td", Text(step.name));
      page.Element("td", VerdictText(step.verdict), "verdict");
      page.Open("td");
      xml.writeCharacters(Text(step.reason));
      if (step.verdict == StepResult::Fail && !step.bytes.empty()) {
        xml.writeEmptyElement("br");
        page.Element("code", Text(step.bytes));
      }
      page.Close();
      page.Element("td", Seconds(step.seconds), "num");
      page.Close();
    }
    page.Close();
    page.Close();
    if (!run.lost.empty()) page.Element("p", "The line was lost: " + Text(run.lost), "note");
    if (!run.cards.empty()) {
      QString cards;
      for (const std::string& card : run.cards) cards += (cards.isEmpty() ? "" : ", ") + Text(card);
      page.Element("p", "Cards read: " + cards, "note");
    }
    page.Element("p", "Put back: " + Text(run.restored), "note");
    page.Close();
  }
  page.Element("footer", "Made by trellum-check " TRELLUM_VERSION " on " + QSysInfo::machineHostName() + ".");
  page.Close();
  xml.writeEndElement();
  xml.writeEndDocument();
  return !xml.hasError() && file.commit();
}
