#include "audio/suoni.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(Cues, TableNamesTheFilesTheStationRequests)
{
    EXPECT_EQ(cue_file(1), "btn1.wav");
    EXPECT_EQ(cue_file(2), "btn2.wav");
    EXPECT_EQ(cue_file(15), "alarm1.wav");
    EXPECT_EQ(cue_file(16), "alarm4.wav");
    EXPECT_EQ(cue_file(20), "tx.wav");
    for (unsigned none : {0u, 7u, 9u, 12u, 14u, 17u, 19u, 21u, 1000u})
        EXPECT_TRUE(cue_file(none).isEmpty()) << none;
}

TEST(Cues, MissingFileOrNoDeviceFallsBackToTheBeepWithoutBlocking)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    QTemporaryDir empty;
    int beeps = 0;
    QtCuePlayer player(empty.path(), [&] { ++beeps; });
    player.play_cue(1);       // no file beside the program
    player.play_cue(99);      // no such cue
    EXPECT_EQ(beeps, 2);

    // Files in the current directory are not taken for the program's own.
    QTemporaryDir other;
    QFile(QDir(other.path()).filePath("btn1.wav")).open(QIODevice::WriteOnly);
    const QString before = QDir::currentPath();
    QDir::setCurrent(other.path());
    player.play_cue(1);
    QDir::setCurrent(before);
    EXPECT_EQ(beeps, 3);
}
