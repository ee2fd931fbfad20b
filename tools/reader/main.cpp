#include "Failure.h"
#include "OptionParser.h"
#include "Options.h"
#include "Session.h"

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  vreader::Options options;
  try {
    options = vreader::parseOptions(argc, argv);
  } catch (const cmdline::UsageError& e) {
    std::fprintf(stderr, "trellum-reader: %s\nTry 'trellum-reader --help'.\n", e.what());
    return 2;
  }
  if (options.help) {
    std::fputs(vreader::usageText(), stdout);
    return 0;
  }
  try {
    vreader::Session session(options);
    return session.run();
  } catch (const vreader::Failure& e) {
    std::fprintf(stderr, "trellum-reader: %s\n", e.what());
    return 1;
  }
}
