// Installs the build into a folder of its own and packs it with CPack: the
// archive holds the same folder, and the program runs from where it is
// unpacked. The Debian package of the same build puts the programs in a
// folder of their own and the rest in the system's places (tests/package
// installs it).
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Result {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

Result Execute(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  Result result;
  if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) return result;
  result.exitCode = process.exitCode();
  result.out = process.readAllStandardOutput();
  result.err = process.readAllStandardError();
  return result;
}

// Every file and link below `folder`, by its path relative to it.
QStringList FilesBelow(const QString& folder) {
  QStringList files;
  QDirIterator it(folder, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) files << QDir(folder).relativeFilePath(it.next());
  files.sort();
  return files;
}

TEST(Install, PortableFolderAndItsArchiveHoldTheSameFilesAndTheProgramListsPortsFromThere) {
  QTemporaryDir work;
  ASSERT_TRUE(work.isValid());
  const QString prefix = work.filePath(QStringLiteral("prefix"));
  const Result install =
      Execute(QStringLiteral(CMAKE_COMMAND), {"--install", QStringLiteral(BUILD_DIR), "--prefix", prefix});
  ASSERT_EQ(install.exitCode, 0) << install.out.toStdString() << install.err.toStdString();

  const QStringList installed = FilesBelow(prefix);
  EXPECT_EQ(installed, (QStringList{"locale/de/LC_MESSAGES/cport.mo", "trellum", "trellum-check", "trellum-reader",
                                    "trellum.desktop", "trellum.png"}));
  for (const char* program : {"trellum", "trellum-check", "trellum-reader"})
    EXPECT_TRUE(QFileInfo(prefix + '/' + program).isExecutable()) << program;
  QFile icon(prefix + QStringLiteral("/trellum.png"));
  ASSERT_TRUE(icon.open(QIODevice::ReadOnly));
  const QByteArray header = icon.read(24);
  EXPECT_TRUE(header.startsWith("\x89PNG\r\n\x1a\n"));
  EXPECT_EQ(header.mid(16, 8), QByteArray::fromHex("0000002000000020")) << "32 x 32";
  QFile desktop(prefix + QStringLiteral("/trellum.desktop"));
  ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
  const QByteArray entry = desktop.readAll();
  for (const char* line :
       {"[Desktop Entry]\n", "\nType=Application\n", "\nName=Velmora\n", "\nExec=trellum\n", "\nIcon=trellum\n"})
    EXPECT_TRUE(entry.contains(line)) << line;

  const QString packages = work.filePath(QStringLiteral("packages"));
  const Result pack = Execute(QStringLiteral(CPACK_COMMAND),
                              {"--config", QStringLiteral(BUILD_DIR "/CPackConfig.cmake"), "-B", packages});
  ASSERT_EQ(pack.exitCode, 0) << pack.out.toStdString() << pack.err.toStdString();
  const QStringList archives = QDir(packages).entryList({QStringLiteral("trellum-*.tar.gz")}, QDir::Files);
  ASSERT_EQ(archives.size(), 1) << archives.join(' ').toStdString();
  const QString unpacked = work.filePath(QStringLiteral("unpacked"));
  ASSERT_TRUE(QDir().mkpath(unpacked));
  const Result untar = Execute(QStringLiteral("tar"), {"-xzf", packages + '/' + archives[0], "-C", unpacked});
  ASSERT_EQ(untar.exitCode, 0) << untar.err.toStdString();
  const QStringList top = QDir(unpacked).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  ASSERT_EQ(top.size(), 1);
  EXPECT_EQ(top[0] + QStringLiteral(".tar.gz"), archives[0]);
  const QString folder = unpacked + '/' + top[0];
  EXPECT_EQ(FilesBelow(folder), installed);

  // No display, a platform that would need one, and the guard held by
  // another copy: none of it matters to --list-ports, which writes no
  // settings file either.
  const QString runtime = work.filePath(QStringLiteral("runtime"));
  ASSERT_TRUE(QDir().mkpath(runtime));
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("DISPLAY"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
  QProcess holder;
  holder.setProcessEnvironment(environment);
  holder.start(QStringLiteral(GUARD_HOLDER), {QStringLiteral("trellum")});
  ASSERT_TRUE(holder.waitForReadyRead(10000));
  ASSERT_EQ(holder.readLine().trimmed(), "held");

  const Result list = Execute(folder + QStringLiteral("/trellum"), {QStringLiteral("--list-ports")}, environment);
  EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
  EXPECT_EQ(list.err, QByteArray());
  for (const QByteArray& line : list.out.split('\n')) {
    if (line.isEmpty()) continue;
    EXPECT_EQ(line.count('\t'), 10) << line.toStdString();
    EXPECT_TRUE(line.startsWith("/dev/")) << line.toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/trellum.INI")));
  EXPECT_EQ(FilesBelow(folder), installed);

  holder.closeWriteChannel();
  EXPECT_TRUE(holder.waitForFinished(10000));
}

TEST(Install, DebianPackageHoldsTheProgramsInTheirFolderAndTheRestInTheSystemsPlaces) {
  QTemporaryDir work;
  ASSERT_TRUE(work.isValid());
  const QString packages = work.filePath(QStringLiteral("packages"));
  const Result pack =
      Execute(QStringLiteral(CPACK_COMMAND),
              {"-G", "DEB", "--config", QStringLiteral(BUILD_DIR "/CPackConfig.cmake"), "-B", packages});
  ASSERT_EQ(pack.exitCode, 0) << pack.out.toStdString() << pack.err.toStdString();
  const QString deb = packages + QStringLiteral("/trellum_" PROJECT_VERSION_TEXT "_amd64.deb");
  ASSERT_TRUE(QFileInfo::exists(deb)) << QDir(packages).entryList(QDir::Files).join(' ').toStdString();
  const QString root = work.filePath(QStringLiteral("root"));
  const Result unpack = Execute(QStringLiteral("dpkg-deb"), {"-x", deb, root});
  ASSERT_EQ(unpack.exitCode, 0) << unpack.err.toStdString();

  EXPECT_EQ(FilesBelow(root).join('\n').toStdString(),
            QStringList({"usr/bin/trellum", "usr/bin/trellum-check", "usr/bin/trellum-reader",
                         "usr/lib/trellum/locale/de/LC_MESSAGES/cport.mo", "usr/lib/trellum/packaged",
                         "usr/lib/trellum/trellum", "usr/lib/trellum/trellum-check", "usr/lib/trellum/trellum-reader",
                         "usr/share/applications/trellum.desktop", "usr/share/icons/hicolor/32x32/apps/trellum.png",
                         "usr/share/man/man1/trellum-check.1.gz", "usr/share/man/man1/trellum.1.gz"})
                .join('\n')
                .toStdString());
  // Links that name their targets relative to themselves, as Debian wants
  // them; an absolute one would point out of the unpacked tree.
  for (const char* program : {"trellum", "trellum-check", "trellum-reader"}) {
    const QFileInfo link(root + QStringLiteral("/usr/bin/") + program);
    EXPECT_TRUE(link.isSymLink()) << program;
    EXPECT_EQ(link.symLinkTarget(), root + QStringLiteral("/usr/lib/trellum/") + program);
  }
  const Result validate = Execute(QStringLiteral("desktop-file-validate"),
                                  {root + QStringLiteral("/usr/share/applications/trellum.desktop")});
  EXPECT_EQ(validate.exitCode, 0);
  EXPECT_EQ(validate.out + validate.err, QByteArray());
}

}  // namespace
