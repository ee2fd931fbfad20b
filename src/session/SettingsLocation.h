#pragma once

#include <QString>

// Where the window and trellum-check keep the settings file. A folder that
// runs where it lies (the build's bin/, the unpacked tar.gz, the Windows zip)
// keeps it beside the window's program, so that it travels with the folder
// and stays the user's. The Debian package's folder belongs to the system and
// its user may not write there: the package puts a marker file beside its
// programs, and their settings file is then the user's own,
// $XDG_CONFIG_HOME/trellum/trellum.INI, else ~/.config/trellum/trellum.INI.

// The marker's name, beside the programs (CMake's TRELLUM_PACKAGED_MARKER).
inline constexpr char kPackagedMarker[] = TRELLUM_PACKAGED_MARKER;

// The user's folders that the settings file may lie in.
struct UserFolders {
  QString configHome;  // $XDG_CONFIG_HOME; empty when unset
  QString home;
  static UserFolders FromEnvironment();
};

// The settings file of the window program at `windowProgram`, its full path
// as the system names it (trellum-check names the window's program beside
// itself, whose file it shares).
QString SettingsFilePath(const QString& windowProgram, const UserFolders& user = UserFolders::FromEnvironment());
