#pragma once

#include <functional>
#include <string>

#include "MainWindow.h"
#include "OperatorMessages.h"

class Taboutbox;

// The window's default setup with the settings file of the executable as the
// system names it (GetModuleFileName on Windows).
TForm1Setup EntryFormSetup();

// What a run of the program takes from its caller; tests replace the parts
// that touch the machine and look at the windows while the loop runs.
struct TrellumSetup {
  // The main window's setup, made once the application object exists.
  std::function<TForm1Setup()> formSetup = &EntryFormSetup;
  // The program's message boxes and beep, the main window's included (they
  // replace those of its setup); the toolkit's where a part is empty.
  OperatorMessages messages;
  // Called with both windows just before the message loop starts.
  std::function<void(TForm1&, Taboutbox&)> running;
};

// The whole program: start-up, the single-instance guard, the message loop
// and shut-down. Returns the process exit code.
int RunTrellum(int& argc, char** argv, const TrellumSetup& setup = {});
