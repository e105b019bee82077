// SPDX-License-Identifier: GPL-3.0-or-later
// The message player window (`form_player`, "Message player"): modal, made anew at each opening.
#pragma once

#include "audio/player.h"

#include <QDialog>
#include <QTimer>

class QComboBox;
class QFileSystemModel;
class QListWidget;
class QPushButton;
class QTreeView;

class form_player : public QDialog, public PlayerWindow {
    Q_OBJECT
public:
    form_player(PlayerChains& chains, const QString& programFolder, QWidget* parent = nullptr);

    PlayerLogic& logic() { return m_logic; }
    QPushButton* button(PlayerButton b) const;
    QListWidget* fileList() const { return FileList; }
    QTreeView* folderTree() const { return DirectorySel; }
    QTimer* timer() { return &timer_player; }
    // Seam for tests: answers the save dialog and the trash question instead of asking.
    std::function<std::optional<QString>(const QString&, const QString&)> saveDialogHook;
    std::function<bool(const QString&)> confirmHook;

    // PlayerWindow
    void setButtonEnabled(PlayerButton button, bool enabled) override;
    void setCaption(const QString& caption) override;
    QString selectedName() const override;
    QString selectedPath() const override;
    void refreshList() override;
    bool setFolder(const QString& folder) override;
    std::optional<QString> askSaveName(const QString& folder, const QString& name) override;
    bool confirmTrash(const QString& path) override;
    void showMessage(const QString& text) override;
    void beep() override;
    void processEvents() override;
    void sleepMs(int ms) override;
    void startTimer() override;
    void stopTimer() override;
    void closeWindow() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* driveSel;
    QTreeView* DirectorySel;
    QFileSystemModel* m_dirs;
    QListWidget* FileList;
    QPushButton *btn_play, *btn_stop, *btn_send, *btn_rename, *btn_delete, *btn_quit;
    QTimer timer_player;
    QString m_folder;
    // The folder tree keeps the chosen folder in sight while it fills in, until the user scrolls it.
    bool m_followFolder = true;
    bool m_followPending = false;
    void keepFolderInSight();
    bool m_closed = false;
    PlayerLogic m_logic;
};

// Opens a new player window over `parent`, runs it modally and destroys it when it closes.
void run_message_player(QWidget* parent, PlayerChains& chains, const QString& programFolder);
