#include "ReadBack.h"

#include <QFile>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

std::string Attribute(const QXmlStreamReader& xml, const char* name) {
  return xml.attributes().value(name).toString().toStdString();
}

int Count(const QXmlStreamReader& xml, const char* name) {
  const std::string text = Attribute(xml, name);
  return text.empty() ? -1 : std::stoi(text);
}

}  // namespace

std::vector<Suite> ReadJUnit(const std::string& path) {
  QFile file(QString::fromStdString(path));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
  QXmlStreamReader xml(&file);
  std::vector<Suite> suites;
  std::string testcase;
  bool root = false;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const QStringView element = xml.name();
    if (element == u"testsuites") {
      root = true;
    } else if (element == u"testsuite") {
      EXPECT_TRUE(root) << "testsuite outside testsuites";
      Suite suite;
      suite.name = Attribute(xml, "name");
      suite.tests = Count(xml, "tests");
      suite.failures = Count(xml, "failures");
      suite.skipped = Count(xml, "skipped");
      suite.errors = Count(xml, "errors");
      suites.push_back(suite);
    } else if (element == u"testcase") {
      EXPECT_FALSE(suites.empty()) << "testcase outside a testsuite";
      testcase = Attribute(xml, "name");
      suites.back().cases.push_back(testcase);
    } else if (element == u"failure") {
      const std::string message = Attribute(xml, "message");
      suites.back().failures_.push_back(testcase + ": " + message + " | " + xml.readElementText().toStdString());
    } else if (element == u"skipped") {
      suites.back().skips.push_back(testcase + ": " + Attribute(xml, "message"));
    } else if (element == u"error") {
      suites.back().errors_.push_back(testcase + ": " + Attribute(xml, "message"));
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return suites;
}

Report ReadReport(const std::string& path) {
  QFile file(QString::fromStdString(path));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
  QXmlStreamReader xml(&file);
  Report report;
  report.external = false;
  std::string table;
  std::vector<std::string> row;
  std::string th;
  while (!xml.atEnd()) {
    const auto token = xml.readNext();
    if (token == QXmlStreamReader::EndElement && xml.name() == u"tr" && table == "readers" && !row.empty()) {
      report.readers.push_back(row);
      row.clear();
    }
    if (token != QXmlStreamReader::StartElement) continue;
    const QStringView element = xml.name();
    if (element == u"link" || element == u"script" || element == u"img" || element == u"iframe") {
      report.external = true;
    } else if (element == u"style") {
      report.style = xml.readElementText().toStdString();
    } else if (element == u"table") {
      table = Attribute(xml, "class");
    } else if (element == u"h3") {
      report.sections.push_back(xml.readElementText().simplified().toStdString());
    } else if (element == u"th" && table == "facts") {
      th = xml.readElementText().simplified().toStdString();
    } else if (element == u"td" && table == "facts") {
      report.facts[th] = xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified().toStdString();
    } else if (element == u"td" && table == "readers") {
      row.push_back(xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified().toStdString());
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return report;
}
