// SPDX-License-Identifier: GPL-3.0-or-later
// Where a station finds its settings, cues and example messages: beside a program run from its own
// folder, per user for an installed one.
#include "station/FileIni.h"
#include "station/paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A package unpacked into a folder: root/usr/bin, root/usr/share/kelvo, root/etc/kelvo.
class Installed : public ::testing::Test {
protected:
    QTemporaryDir root, home;
    QString bin = root.filePath("usr/bin");
    QString share = root.filePath("usr/share/kelvo");
    QString config = home.filePath("config");
    QString data = home.filePath("data");

    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(bin));
        ASSERT_TRUE(writeFile(share + "/cues/btn1.wav", "RIFF"));
        ASSERT_TRUE(writeFile(share + "/example/mayday.wav", "RIFF1"));
        ASSERT_TRUE(writeFile(share + "/example/panpan.wav", "RIFF2"));
    }
};

} // namespace

TEST(StationPathsTest, ProgramRunFromItsOwnFolderKeepsEverythingBesideIt)
{
    QTemporaryDir dir, home;
    // A build folder is called "bin" too; without "../share/kelvo" it is not an installation.
    const QString bin = dir.filePath("bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    for (const QString& folder : {dir.path(), bin}) {
        const StationPaths p = resolve_station_paths(folder, home.filePath("c"), home.filePath("d"));
        EXPECT_EQ(p.settingsFile, folder + "/radiosim.ini");
        EXPECT_EQ(p.cueFolder, folder);
        EXPECT_EQ(p.exampleFolder, folder + "/example");
    }
    EXPECT_TRUE(QDir(home.path()).isEmpty()) << "nothing is made in the user's folders";
    EXPECT_EQ(system_settings_file("/usr/bin"), "/etc/kelvo/radiosim.ini");
    EXPECT_EQ(system_settings_file("/usr/local/bin"), "/etc/kelvo/radiosim.ini");
    EXPECT_EQ(system_settings_file("/opt/kelvo/bin"), "/opt/kelvo/etc/kelvo/radiosim.ini");
}

TEST_F(Installed, FirstStartCopiesTheSystemDefaultAndTheExamplesOnceThenLeavesTheUsersFilesAlone)
{
    ASSERT_TRUE(writeFile(root.filePath("etc/kelvo/radiosim.ini"), "[radio]\nmode=1\nbase_port=20000\n"));
    EXPECT_EQ(installed_data_folder(bin), share);

    const StationPaths p = resolve_station_paths(bin, config, data);
    EXPECT_EQ(p.settingsFile, config + "/kelvo/radiosim.ini");
    EXPECT_EQ(p.cueFolder, share + "/cues");
    EXPECT_EQ(p.exampleFolder, data + "/kelvo/example");
    EXPECT_EQ(load_settings(p.settingsFile).mode, 1);
    EXPECT_EQ(load_settings(p.settingsFile).base_port, 20000);
    EXPECT_EQ(QDir(p.exampleFolder).entryList(QDir::Files), QStringList({"mayday.wav", "panpan.wav"}));
    EXPECT_EQ(readFile(p.exampleFolder + "/panpan.wav"), "RIFF2");

    // The user's window position is written into the user's file; a message is trashed.
    ASSERT_TRUE(save_window_position(p.settingsFile, {300, 200}));
    ASSERT_TRUE(QFile::remove(p.exampleFolder + "/mayday.wav"));
    // The administrator changes the default afterwards: it is for users who have not started yet.
    ASSERT_TRUE(writeFile(root.filePath("etc/kelvo/radiosim.ini"), "[radio]\nmode=0\n"));

    const StationPaths again = resolve_station_paths(bin, config, data);
    EXPECT_EQ(again.settingsFile, p.settingsFile);
    EXPECT_EQ(load_settings(again.settingsFile).mode, 1);
    EXPECT_EQ(load_window_position(again.settingsFile), QPoint(300, 200));
    EXPECT_EQ(QDir(again.exampleFolder).entryList(QDir::Files), QStringList({"panpan.wav"}));
}

TEST_F(Installed, WithoutASystemDefaultTheUserStartsOnDefaultsAndTheCloseWritesTheFile)
{
    const StationPaths p = resolve_station_paths(bin, config, data);
    EXPECT_FALSE(QFile::exists(p.settingsFile));
    EXPECT_EQ(load_settings(p.settingsFile).mmsi, "274111001");
    // The folder is there, so the first close can write the window position.
    EXPECT_TRUE(save_window_position(p.settingsFile, {10, 20}));
    EXPECT_EQ(load_window_position(p.settingsFile), QPoint(10, 20));
}
