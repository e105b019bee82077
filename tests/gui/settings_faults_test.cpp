// SPDX-License-Identifier: GPL-3.0-or-later
// The station window with a settings file it cannot use as it should: read-only, missing, or a
// folder in its place. It starts by the settings rules and closes with the message it owes.
#include "support/station_window.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Start : StationWindow {
    explicit Start(const QString& folder) { open(testOptions(), folder).show(); }
};

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(SettingsFaults, ReadOnlyFileIsReadAndTheCloseSaysItCannotBeWritten)
{
    QTemporaryDir dir;
    const QString ini = QDir(dir.path()).filePath(QStringLiteral("radiosim.ini"));
    const QByteArray text = "[kelvo]\nmmsi=244123456\nposX=40\nposY=60\n[radio]\nmode=1\n";
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    // No write permission for anyone: read-only for root too, as the read-only attribute is.
    ASSERT_TRUE(QFile::setPermissions(ini, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

    Start s(dir.path());
    EXPECT_EQ(s.form->windowTitle(), QStringLiteral("KELVO v. 12.9 ( NETWORK ) "));
    EXPECT_EQ(s.form->station().panel().lbl_mmsi, QStringLiteral("244123456"));
    EXPECT_EQ(s.form->pos(), QPoint(60, 40));
    s.form->move(200, 150);
    EXPECT_TRUE(s.form->close()) << "a trainee can always quit";
    ASSERT_EQ(s.errors.size(), 1u);
    EXPECT_EQ(s.errors[0], QStringLiteral("Unable to write to %1").arg(ini));
    EXPECT_EQ(contents(ini), text) << "the read-only file is left as it was";
    EXPECT_FALSE(QFileInfo(ini).permissions() & QFile::WriteOwner);
}

TEST(SettingsFaults, MissingFileGivesDefaultsAndTheCloseWritesThePosition)
{
    QTemporaryDir dir;
    const QString ini = QDir(dir.path()).filePath(QStringLiteral("radiosim.ini"));
    Start s(dir.path());
    EXPECT_FALSE(QFile::exists(ini)) << "not created at start";
    EXPECT_EQ(s.form->windowTitle(), QStringLiteral("KELVO v. 12.9 ( LOCAL ) "));
    EXPECT_EQ(s.form->station().panel().lbl_mmsi, QStringLiteral("274111001"));
    EXPECT_EQ(s.form->station().panel().lbl_group, QStringLiteral("027411101"));
    EXPECT_EQ(s.form->pos(), QPoint(1, 1));
    s.form->move(300, 200);
    EXPECT_TRUE(s.form->close());
    EXPECT_TRUE(s.errors.empty());
    const QByteArray written = contents(ini);
    EXPECT_TRUE(written.contains("posX=200") && written.contains("posY=300")) << written.constData();
}

TEST(SettingsFaults, FolderInPlaceOfTheFileGivesDefaultsAndTheCloseSaysItCannotBeWritten)
{
    QTemporaryDir dir;
    const QString ini = QDir(dir.path()).filePath(QStringLiteral("radiosim.ini"));
    ASSERT_TRUE(QDir().mkdir(ini));
    Start s(dir.path());
    EXPECT_EQ(s.form->windowTitle(), QStringLiteral("KELVO v. 12.9 ( LOCAL ) "));
    EXPECT_EQ(s.form->station().panel().lbl_mmsi, QStringLiteral("274111001"));
    EXPECT_EQ(s.form->pos(), QPoint(1, 1));
    EXPECT_TRUE(s.form->close());
    ASSERT_EQ(s.errors.size(), 1u);
    EXPECT_EQ(s.errors[0], QStringLiteral("Unable to write to %1").arg(ini));
    EXPECT_TRUE(QFileInfo(ini).isDir());
}
