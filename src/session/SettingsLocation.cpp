#include "SettingsLocation.h"

#include <QDir>
#include <QFileInfo>

#include "SettingsFile.h"

UserFolders UserFolders::FromEnvironment() { return {qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath()}; }

QString SettingsFilePath(const QString& windowProgram, const UserFolders& user) {
  if (!QFileInfo::exists(QFileInfo(windowProgram).dir().filePath(QString::fromLatin1(kPackagedMarker))))
    return SettingsFile::PathBesideExecutable(windowProgram);
  // A relative XDG_CONFIG_HOME is not to be used: desktops fall back to ~/.config then.
  const QString config =
      QDir::isAbsolutePath(user.configHome) ? user.configHome : user.home + QStringLiteral("/.config");
  return config + QStringLiteral("/trellum/trellum.INI");
}
