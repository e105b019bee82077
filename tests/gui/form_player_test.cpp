// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/gui/form_player.h"
#include "audio/wave_read.h"
#include "support/collect_sink.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QMouseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QTimer>
#include <QTreeView>

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QApplication* a = qobject_cast<QApplication*>(QCoreApplication::instance())
                                 ? qobject_cast<QApplication*>(QCoreApplication::instance())
                                 : new QApplication(argc, argv);
    return *a;
}

void press(QWidget* w, QPoint at, Qt::KeyboardModifiers mods)
{
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                  Qt::LeftButton, mods);
    QCoreApplication::sendEvent(w, &e);
}

} // namespace

TEST(FormPlayer, ShowsTheExampleFilesWithTheirButtonsAndRunsThePlayer)
{
    app();
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("example");
    for (const char* name : {"b.wav", "a.wav", "notes.txt"}) {
        QFile f(dir.filePath(QString("example/") + name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    CollectSink mic, codec, resampler, out;
    WaveRead reader;
    reader.link(&resampler);
    mic.link(&codec);
    bool receiverOpen = true;
    StagePlayerChains chains(&mic, &reader, &codec, &resampler, &out,
                             [&] { receiverOpen = true; }, [&] { receiverOpen = false; });
    form_player player(chains, dir.path());
    EXPECT_EQ(player.windowTitle(), "Message player");
    EXPECT_EQ(player.button(PlayerButton::btn_send)->text(), "Send");
    EXPECT_EQ(player.button(PlayerButton::btn_send)->toolTip(), "Broadcast selected audio");
    EXPECT_EQ(player.button(PlayerButton::btn_rename)->text(), "Edit");
    EXPECT_EQ(player.button(PlayerButton::btn_delete)->text(), "Trash");
    EXPECT_EQ(player.timer()->interval(), 100);
    EXPECT_FALSE(player.timer()->isActive());

    player.show();
    EXPECT_FALSE(receiverOpen);
    EXPECT_EQ(QDir::currentPath(), QDir(dir.filePath("example")).absolutePath());
    ASSERT_EQ(player.fileList()->count(), 2);
    EXPECT_EQ(player.fileList()->item(0)->text(), "a.wav");
    EXPECT_FALSE(player.button(PlayerButton::btn_stop)->isEnabled());
    EXPECT_EQ(player.selectedPath(), QString());

    // a.wav is empty, not audio: Send returns to idle at the first tick.
    player.fileList()->setCurrentRow(0);
    EXPECT_EQ(player.selectedPath(), QDir(dir.filePath("example")).absoluteFilePath("a.wav"));
    player.button(PlayerButton::btn_send)->click();
    EXPECT_TRUE(player.button(PlayerButton::btn_stop)->isEnabled());
    EXPECT_TRUE(player.timer()->isActive());
    EXPECT_EQ(reader.next(), &codec);
    player.logic().timer_playerTimer();
    EXPECT_EQ(player.windowTitle(), "Audio Player");
    EXPECT_FALSE(player.button(PlayerButton::btn_stop)->isEnabled());
    EXPECT_EQ(reader.next(), &resampler);
    EXPECT_EQ(mic.next(), &codec);

    // Ctrl with a press on the list starts Edit; Ctrl+Alt does not.
    int asked = 0;
    player.saveDialogHook = [&](const QString& folder, const QString& name) -> std::optional<QString> {
        ++asked;
        EXPECT_EQ(folder, QDir(dir.path()).filePath("example"));
        EXPECT_EQ(name, "a.wav");
        return std::nullopt;
    };
    const QPoint first = player.fileList()->visualItemRect(player.fileList()->item(0)).center();
    press(player.fileList()->viewport(), first, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(asked, 0);
    press(player.fileList()->viewport(), first, Qt::ControlModifier);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(QFile::exists(dir.filePath("example/a.wav")));

    player.button(PlayerButton::btn_quit)->click();
    EXPECT_TRUE(receiverOpen);
    EXPECT_FALSE(player.isVisible());
}

// The folder tree fills in the background; once it has, the chosen folder is selected and in sight
// (with many folders on the way it would otherwise be scrolled out of view).
TEST(FormPlayer, FolderTreeOpensOnTheExampleFolderInSight)
{
    app();
    QTemporaryDir dir;
    for (int i = 0; i < 40; ++i)
        QDir(dir.path()).mkdir(QStringLiteral("a%1").arg(i, 2, 10, QLatin1Char('0')));
    QDir(dir.path()).mkdir("example");
    CollectSink mic, codec, resampler, out;
    WaveRead reader;
    StagePlayerChains chains(&mic, &reader, &codec, &resampler, &out, [] {}, [] {});
    form_player player(chains, dir.path());
    player.show();
    QTreeView* tree = player.folderTree();
    const auto inSight = [&] {
        const QModelIndex current = tree->currentIndex();
        return current.isValid() && tree->viewport()->rect().contains(tree->visualRect(current));
    };
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 1500) {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }
    EXPECT_EQ(tree->currentIndex().data(QFileSystemModel::FilePathRole).toString(),
              QDir(dir.filePath("example")).absolutePath());
    EXPECT_TRUE(tree->selectionModel()->isSelected(tree->currentIndex()));
    EXPECT_TRUE(inSight()) << tree->visualRect(tree->currentIndex()).y() << " in " << tree->viewport()->height();
    player.grab().save(QDir(qEnvironmentVariable("KELVO_BIN") + "/..").absoluteFilePath("screenshots/player.png"));
    player.button(PlayerButton::btn_quit)->click();
}
