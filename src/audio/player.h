// SPDX-License-Identifier: GPL-3.0-or-later
// The message player: plays a recorded message on the loudspeaker or broadcasts it on the voice
// channel instead of the microphone, renames and trashes recordings. The logic works through two
// small interfaces: the player's window and the audio stages it drives (owned by the station).
#pragma once

#include <QString>
#include <functional>
#include <optional>

class Stage;
class WaveRead;

enum class PlayerButton { btn_play, btn_stop, btn_send, btn_rename, btn_delete, btn_quit };
enum class PlayerStage { waveIN1, waveRead1, codecTX, resampler2, waveOUT2 };

class PlayerWindow {
public:
    virtual ~PlayerWindow() = default;
    virtual void setButtonEnabled(PlayerButton button, bool enabled) = 0;
    virtual void setCaption(const QString& caption) = 0;
    // The selected file of FileList: bare name and full path (empty: none selected).
    virtual QString selectedName() const = 0;
    virtual QString selectedPath() const = 0;
    virtual void refreshList() = 0;
    // Shows the folder in DirectorySel and makes it the current directory; false if it is missing.
    virtual bool setFolder(const QString& folder) = 0;
    // SaveDialog1; nullopt when the trainee cancels.
    virtual std::optional<QString> askSaveName(const QString& folder, const QString& name) = 0;
    virtual bool confirmTrash(const QString& path) = 0;
    virtual void showMessage(const QString& text) = 0;
    virtual void beep() = 0;
    virtual void processEvents() = 0;
    virtual void sleepMs(int ms) = 0;
    virtual void startTimer() = 0;
    virtual void stopTimer() = 0;
    virtual void closeWindow() = 0;
};

class PlayerChains {
public:
    virtual ~PlayerChains() = default;
    virtual void link(PlayerStage from, PlayerStage to) = 0;
    virtual void unlink(PlayerStage from) = 0;
    virtual bool open(PlayerStage stage) = 0;
    virtual void close(PlayerStage stage) = 0;
    virtual bool active(PlayerStage stage) const = 0;
    virtual void setFileName(const QString& path) = 0;
    virtual void discard() = 0;
    virtual void openReceiver() = 0;
    virtual void closeReceiver() = 0;
};

// PlayerChains over real stages.
class StagePlayerChains : public PlayerChains {
public:
    StagePlayerChains(Stage* waveIN1, WaveRead* waveRead1, Stage* codecTX, Stage* resampler2,
                      Stage* waveOUT2, std::function<void()> openReceiver,
                      std::function<void()> closeReceiver);
    void link(PlayerStage from, PlayerStage to) override;
    void unlink(PlayerStage from) override;
    bool open(PlayerStage stage) override;
    void close(PlayerStage stage) override;
    bool active(PlayerStage stage) const override;
    void setFileName(const QString& path) override;
    void discard() override;
    void openReceiver() override;
    void closeReceiver() override;

private:
    Stage* stage(PlayerStage s) const;
    Stage* m_waveIN1;
    WaveRead* m_waveRead1;
    Stage* m_codecTX;
    Stage* m_resampler2;
    Stage* m_waveOUT2;
    std::function<void()> m_openReceiver, m_closeReceiver;
};

struct MouseMods {
    bool alt = false;
    bool ctrl = false;
};

class PlayerLogic {
public:
    PlayerLogic(PlayerWindow& window, PlayerChains& chains, QString programFolder);

    QString exampleFolder() const;

    void FormShow();
    void FormClose();
    void btn_playClick();
    void FileListDblClick();
    void btn_stopClick();
    void btn_sendClick();
    void btn_renameClick();
    void FileListMouseDown(MouseMods mods);
    void btn_deleteClick();
    void btn_quitClick();
    void timer_playerTimer();
    void set_buttons_busy();
    void set_buttons_idle();

    static QString statusCaption(const QString& status);

private:
    void play(const QString& path);
    void restoreLinks();

    PlayerWindow& m_window;
    PlayerChains& m_chains;
    QString m_programFolder;
};
