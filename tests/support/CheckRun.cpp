#include "CheckRun.h"

#include <QProcess>
#include <QStringList>

CheckRun CheckRun::Run(const std::vector<std::string>& args) {
  QStringList arguments;
  for (const std::string& arg : args) arguments << QString::fromStdString(arg);
  QProcess process;
  process.start(QStringLiteral(CHECK_PATH), arguments);
  CheckRun run;
  if (!process.waitForFinished(120000)) {
    process.kill();
    process.waitForFinished();
    run.err = "trellum-check did not end within two minutes";
    return run;
  }
  run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  return run;
}
