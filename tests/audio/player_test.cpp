// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/player.h"
#include "audio/wave_read.h"
#include "player_window_fake.h"
#include "support/collect_sink.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <map>
#include <vector>

namespace {

// The stages around the player: they count what they are given, open or closed.
constexpr CollectSink::Options kStandIn{.keepWhileClosed = true};

void writeTone(const QString& path, double seconds)
{
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    std::vector<short> data(size_t(8000 * seconds), 1000);
    sf_writef_short(f, data.data(), sf_count_t(data.size()));
    sf_close(f);
}

class Player : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir(dir.path()).mkdir("example");
        example = QDir(dir.path()).filePath("example");
        writeTone(example + "/long.wav", 5);
        writeTone(example + "/short.wav", 0.05);
        QFile bad(example + "/bad.wav");
        bad.open(QIODevice::WriteOnly);
        bad.write("not audio at all");
        bad.close();
        waveIN1.link(&codecTX);
        waveRead1.link(&resampler2);
        resampler2.link(&waveOUT2);
        logic.FormShow();
    }
    void TearDown() override { waveRead1.close(); }

    void expectNormalLinks()
    {
        EXPECT_EQ(waveIN1.next(), &codecTX);
        EXPECT_EQ(waveRead1.next(), &resampler2);
    }
    void expectIdleButtons()
    {
        for (auto b : {PlayerButton::btn_play, PlayerButton::btn_delete, PlayerButton::btn_send,
                       PlayerButton::btn_rename})
            EXPECT_TRUE(window.enabled[b]);
        EXPECT_FALSE(window.enabled[PlayerButton::btn_stop]);
    }
    void expectBusyButtons()
    {
        for (auto b : {PlayerButton::btn_play, PlayerButton::btn_delete, PlayerButton::btn_send,
                       PlayerButton::btn_rename})
            EXPECT_FALSE(window.enabled[b]);
        EXPECT_TRUE(window.enabled[PlayerButton::btn_stop]);
    }

    QTemporaryDir dir;
    QString example;
    CollectSink waveIN1{kStandIn}, codecTX{kStandIn}, resampler2{kStandIn}, waveOUT2{kStandIn};
    WaveRead waveRead1;
    int receiverOpens = 0, receiverCloses = 0;
    StagePlayerChains chains{&waveIN1, &waveRead1, &codecTX, &resampler2, &waveOUT2,
                             [this] { ++receiverOpens; }, [this] { ++receiverCloses; }};
    FakeWindow window;
    PlayerLogic logic{window, chains, dir.path()};
};

} // namespace

TEST_F(Player, ShowOpensTheExampleFolderAndClosesTheReceiver)
{
    EXPECT_EQ(window.folder, example);
    EXPECT_EQ(QDir::currentPath(), QDir(example).absolutePath());
    EXPECT_EQ(receiverCloses, 1);
    EXPECT_FALSE(window.enabled[PlayerButton::btn_stop]);
    EXPECT_TRUE(window.messages.empty());
}

TEST(PlayerShow, MissingExampleFolderIsReportedAndTheProgramFolderShown)
{
    QTemporaryDir dir;
    FakeWindow window;
    CollectSink s(kStandIn);
    WaveRead r;
    int closes = 0;
    StagePlayerChains chains{&s, &r, &s, &s, &s, {}, [&] { ++closes; }};
    PlayerLogic logic{window, chains, dir.path()};
    logic.FormShow();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.folder, dir.path());
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(window.enabled[PlayerButton::btn_stop]);
}

TEST_F(Player, PlayFeedsTheLoudspeakerUntilTheFileEndsThenStopsThroughStopped)
{
    window.selected = "short.wav";
    logic.btn_playClick();
    expectBusyButtons();
    EXPECT_TRUE(window.timerRunning);
    EXPECT_TRUE(waveOUT2.active());
    EXPECT_FALSE(codecTX.active());
    logic.timer_playerTimer();
    EXPECT_EQ(window.captions.back(), "Audio Player ( Play )");
    for (int i = 0; i < 100 && waveRead1.active(); ++i)
        QThread::msleep(10);
    EXPECT_GT(resampler2.blockCount.load(), 0);
    logic.timer_playerTimer(); // the first tick after the end
    ASSERT_GE(window.captions.size(), 3u);
    EXPECT_EQ(window.captions[window.captions.size() - 2], "Audio Player ( Stopped )");
    EXPECT_EQ(window.captions.back(), "Audio Player");
    EXPECT_EQ(window.sleeps, 1);
    EXPECT_FALSE(window.timerRunning);
    EXPECT_FALSE(waveOUT2.active());
    expectIdleButtons();
    expectNormalLinks();
}

TEST_F(Player, NoSelectionPlaysAndSendsNothingAndEditBeeps)
{
    logic.btn_playClick();
    logic.FileListDblClick();
    logic.btn_sendClick();
    logic.btn_deleteClick();
    EXPECT_FALSE(waveRead1.active());
    EXPECT_FALSE(window.timerRunning);
    expectNormalLinks();
    EXPECT_EQ(window.beeps, 0);
    logic.btn_renameClick();
    EXPECT_EQ(window.beeps, 1);
}

TEST_F(Player, SendReplacesTheMicrophoneAndStopRestoresTheLinks)
{
    window.selected = "long.wav";
    logic.btn_sendClick();
    EXPECT_EQ(waveIN1.next(), nullptr);
    EXPECT_EQ(waveRead1.next(), &codecTX);
    EXPECT_TRUE(codecTX.active());
    EXPECT_FALSE(waveOUT2.active());
    expectBusyButtons();
    logic.timer_playerTimer();
    EXPECT_EQ(window.captions.back(), "Audio Player ( Broadcast )");
    QThread::msleep(60);
    EXPECT_GT(codecTX.blockCount.load(), 0);
    logic.btn_stopClick();
    expectNormalLinks();
    EXPECT_FALSE(waveRead1.active());
    EXPECT_FALSE(codecTX.active());
    EXPECT_TRUE(waveRead1.fileName().isEmpty());
    expectIdleButtons();
    // Stop while idle is harmless; so is a tick that comes after it.
    logic.btn_stopClick();
    logic.timer_playerTimer();
    expectNormalLinks();
    expectIdleButtons();
}

TEST_F(Player, AFileThatIsNotAudioReturnsToIdleAtTheNextTick)
{
    window.selected = "bad.wav";
    logic.btn_sendClick();
    EXPECT_FALSE(waveRead1.active());
    logic.timer_playerTimer();
    EXPECT_EQ(window.captions[window.captions.size() - 2], "Audio Player ( Stopped )");
    expectIdleButtons();
    expectNormalLinks();
    EXPECT_FALSE(window.timerRunning);
}

TEST_F(Player, QuitAndCloseDuringABroadcastRestoreBothLinks)
{
    window.selected = "long.wav";
    logic.btn_sendClick();
    logic.btn_quitClick();
    EXPECT_TRUE(window.closed);
    EXPECT_FALSE(window.timerRunning);
    expectNormalLinks();
    EXPECT_FALSE(waveRead1.active());
    EXPECT_FALSE(codecTX.active());
    logic.btn_sendClick();
    logic.FormClose();
    expectNormalLinks();
    EXPECT_FALSE(codecTX.active());
    EXPECT_EQ(receiverOpens, 1);
    EXPECT_TRUE(window.enabled[PlayerButton::btn_play]);
    // The next Play is heard at once.
    logic.btn_playClick();
    EXPECT_TRUE(waveOUT2.active());
}

TEST_F(Player, EditMovesTheFileOnlyWhenTheDialogGivesAName)
{
    window.selected = "short.wav";
    window.saveAnswer = std::nullopt;
    logic.btn_renameClick();
    EXPECT_TRUE(QFile::exists(example + "/short.wav"));
    EXPECT_EQ(window.refreshes, 0);

    window.saveAnswer = example + "/renamed.wav";
    logic.FileListMouseDown({/*alt*/ true, /*ctrl*/ true});
    EXPECT_TRUE(QFile::exists(example + "/short.wav"));
    logic.FileListMouseDown({false, false});
    EXPECT_TRUE(QFile::exists(example + "/short.wav"));
    logic.FileListMouseDown({false, true});
    EXPECT_FALSE(QFile::exists(example + "/short.wav"));
    EXPECT_TRUE(QFile::exists(example + "/renamed.wav"));
    EXPECT_EQ(window.refreshes, 1);

    window.selected = "long.wav";
    window.saveAnswer = example + "/renamed.wav"; // taken: the move fails
    logic.btn_renameClick();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0], "Unable to create new audio file.");
    EXPECT_EQ(window.refreshes, 1);
    EXPECT_TRUE(QFile::exists(example + "/long.wav"));
}

TEST_F(Player, DeclinedTrashLeavesTheFileAndGivesNoBeep)
{
    window.selected = "short.wav";
    window.confirmAnswer = false;
    logic.btn_deleteClick();
    EXPECT_TRUE(QFile::exists(example + "/short.wav"));
    EXPECT_EQ(window.beeps, 0);
    EXPECT_EQ(window.refreshes, 0);

    window.selected = "gone.wav"; // no such file: nothing asked, nothing done
    window.confirmAnswer = true;
    logic.btn_deleteClick();
    EXPECT_EQ(window.beeps, 0);

    window.selected = "short.wav";
    logic.btn_deleteClick();
    if (QFile::exists(example + "/short.wav")) { // no trash on this system
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.messages[0], "Could not send " + example + "/short.wav to RecycleBin");
        EXPECT_EQ(window.beeps, 0);
    } else {
        EXPECT_EQ(window.beeps, 1);
        EXPECT_EQ(window.refreshes, 1);
    }
}

// Trash where the user's data folder does not exist yet (a fresh account, a classroom image):
// Qt 6.4 then reported success but made "files" and "info" folders in the listed folder and moved
// the file there. The file must end in the user's trash, or stay where it was with the message.
TEST_F(Player, TrashWithoutADataFolderReachesTheTrashOrLeavesTheFileWhereItWas)
{
    const QByteArray oldHome = qgetenv("HOME"), oldData = qgetenv("XDG_DATA_HOME");
    qunsetenv("XDG_DATA_HOME");
    QTemporaryDir home;
    auto listedFolderUntouched = [&] {
        EXPECT_FALSE(QDir(example + "/files").exists());
        EXPECT_FALSE(QDir(example + "/info").exists());
    };

    qputenv("HOME", home.path().toUtf8());   // no .local/share in it
    window.selected = "short.wav";
    logic.btn_deleteClick();
    EXPECT_TRUE(window.messages.empty());
    EXPECT_FALSE(QFile::exists(example + "/short.wav"));
    EXPECT_TRUE(QFile::exists(home.path() + "/.local/share/Trash/files/short.wav"));
    EXPECT_EQ(window.beeps, 1);
    listedFolderUntouched();

    // A data folder that cannot be made (a file stands where it would go), on the disk of the
    // listed folder: the file stays, and the trainee is told.
    QTemporaryDir blockedHome;
    QFile blocker(blockedHome.path() + "/.local");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("HOME", blockedHome.path().toUtf8());
    window.selected = "long.wav";
    logic.btn_deleteClick();
    EXPECT_TRUE(QFile::exists(example + "/long.wav"));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0], "Could not send " + example + "/long.wav to RecycleBin");
    EXPECT_EQ(window.beeps, 1);
    listedFolderUntouched();

    qputenv("HOME", oldHome);
    if (!oldData.isEmpty())
        qputenv("XDG_DATA_HOME", oldData);
}
