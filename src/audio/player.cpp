// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/player.h"

#include "audio/wave_read.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using S = PlayerStage;

namespace {

// Moves `path` to the user's trash; false when it did not get there, the file then left where it
// was. Qt 6.4 needs the data folder to exist: without it, moveToTrash makes "files" and "info"
// folders in the current folder (the player's listed one), moves the file there and reports
// success.
bool send_to_trash(const QString& path)
{
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
    QDir().mkpath(trash + "/files");
    QDir().mkpath(trash + "/info");
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash))
        return false;
    // A trash is the home one (made above) or a disk's own ".Trash-<uid>" or ".Trash/<uid>".
    const QFileInfo where(inTrash);
    const QDir files = where.absoluteDir();
    QDir top = files;
    top.cdUp();
    const QString topName = top.dirName();
    QDir above = top;
    above.cdUp();
    const bool inATrash = files.dirName() == "files" &&
                          (top.canonicalPath() == QDir(trash).canonicalPath() || topName.startsWith(".Trash-") ||
                           above.dirName() == ".Trash");
    if (inATrash)
        return true;
    // Landed in a folder made for it (Qt's fallback is the current folder): put it back and take
    // away what was made.
    QFile::rename(inTrash, path);
    QFile::remove(top.filePath("info/" + where.fileName() + ".trashinfo"));
    top.rmdir("files");
    top.rmdir("info");
    return false;
}

} // namespace

StagePlayerChains::StagePlayerChains(Stage* waveIN1, WaveRead* waveRead1, Stage* codecTX,
                                     Stage* resampler2, Stage* waveOUT2,
                                     std::function<void()> openReceiver,
                                     std::function<void()> closeReceiver)
    : m_waveIN1(waveIN1), m_waveRead1(waveRead1), m_codecTX(codecTX), m_resampler2(resampler2),
      m_waveOUT2(waveOUT2), m_openReceiver(std::move(openReceiver)),
      m_closeReceiver(std::move(closeReceiver))
{
}

Stage* StagePlayerChains::stage(PlayerStage s) const
{
    switch (s) {
    case S::waveIN1: return m_waveIN1;
    case S::waveRead1: return m_waveRead1;
    case S::codecTX: return m_codecTX;
    case S::resampler2: return m_resampler2;
    case S::waveOUT2: return m_waveOUT2;
    }
    return nullptr;
}

void StagePlayerChains::link(PlayerStage from, PlayerStage to)
{
    if (Stage* f = stage(from))
        f->link(stage(to));
}

void StagePlayerChains::unlink(PlayerStage from)
{
    if (Stage* f = stage(from))
        f->link(nullptr);
}

bool StagePlayerChains::open(PlayerStage s)
{
    Stage* st = stage(s);
    return st && st->open();
}

void StagePlayerChains::close(PlayerStage s)
{
    if (Stage* st = stage(s))
        st->close();
}

bool StagePlayerChains::active(PlayerStage s) const
{
    Stage* st = stage(s);
    return st && st->active();
}

void StagePlayerChains::setFileName(const QString& path) { if (m_waveRead1) m_waveRead1->setFileName(path); }
void StagePlayerChains::discard() { if (m_waveRead1) m_waveRead1->discard(); }
void StagePlayerChains::openReceiver() { if (m_openReceiver) m_openReceiver(); }
void StagePlayerChains::closeReceiver() { if (m_closeReceiver) m_closeReceiver(); }

PlayerLogic::PlayerLogic(PlayerWindow& window, PlayerChains& chains, QString programFolder)
    : m_window(window), m_chains(chains), m_programFolder(std::move(programFolder))
{
}

QString PlayerLogic::exampleFolder() const { return QDir(m_programFolder).filePath("example"); }

QString PlayerLogic::statusCaption(const QString& status) { return "Audio Player ( " + status + " )"; }

void PlayerLogic::FormShow()
{
    if (!m_window.setFolder(exampleFolder())) {
        m_window.showMessage("The folder of the example messages was not found: "
                             + QDir::toNativeSeparators(exampleFolder()));
        m_window.setFolder(m_programFolder);
    }
    m_chains.closeReceiver();
    m_window.setButtonEnabled(PlayerButton::btn_stop, false);
}

// Gives the microphone back to the encoder and the reader back to the loudspeaker.
void PlayerLogic::restoreLinks()
{
    m_chains.unlink(S::waveRead1);
    m_chains.link(S::waveIN1, S::codecTX);
    m_chains.link(S::waveRead1, S::resampler2);
}

void PlayerLogic::FormClose()
{
    m_window.stopTimer();
    restoreLinks();
    m_chains.openReceiver();
    m_chains.close(S::waveRead1);
    m_chains.close(S::waveOUT2);
    m_chains.close(S::codecTX); // a broadcast in progress ends with the window
    m_window.setButtonEnabled(PlayerButton::btn_play, true);
    m_window.processEvents();
}

void PlayerLogic::play(const QString& path)
{
    m_chains.close(S::waveRead1);
    m_chains.discard();
    m_chains.setFileName(path);
    m_chains.open(S::waveRead1);
    set_buttons_busy();
    m_window.startTimer();
}

void PlayerLogic::btn_playClick()
{
    const QString path = m_window.selectedPath();
    if (path.isEmpty())
        return;
    m_window.processEvents();
    play(path);
}

void PlayerLogic::FileListDblClick()
{
    const QString path = m_window.selectedPath();
    if (path.isEmpty())
        return;
    play(path);
}

void PlayerLogic::btn_sendClick()
{
    const QString path = m_window.selectedPath();
    if (path.isEmpty())
        return;
    m_window.processEvents();
    m_chains.unlink(S::waveIN1);
    m_chains.unlink(S::waveRead1);
    m_chains.link(S::waveRead1, S::codecTX);
    play(path);
}

void PlayerLogic::btn_stopClick()
{
    restoreLinks();
    m_chains.setFileName(QString());
    m_chains.discard();
    m_chains.close(S::waveRead1);
    m_chains.close(S::waveOUT2);
    // The encoder and sender were opened behind the reader while it fed them; close them too.
    m_chains.close(S::codecTX);
    m_window.processEvents();
    set_buttons_idle();
}

void PlayerLogic::timer_playerTimer()
{
    // The encoder and the playback device stay open after the file ends; the reader tells.
    const bool reading = m_chains.active(S::waveRead1);
    QString status;
    if (reading && m_chains.active(S::codecTX))
        status = "Broadcast";
    else if (reading && m_chains.active(S::waveOUT2))
        status = "Play";
    else {
        status = "Stopped";
        m_window.stopTimer();
        btn_stopClick();
        m_window.processEvents();
    }
    m_window.setCaption(statusCaption(status));
    m_window.processEvents();
    if (status == "Stopped") {
        m_window.sleepMs(1000);
        m_window.setCaption("Audio Player");
    }
}

void PlayerLogic::btn_renameClick()
{
    const QString name = m_window.selectedName();
    if (name.isEmpty()) {
        m_window.beep();
        return;
    }
    const std::optional<QString> target = m_window.askSaveName(exampleFolder(), name);
    if (!target || target->isEmpty())
        return;
    if (!QFile::rename(name, *target)) {
        m_window.showMessage("Unable to create new audio file.");
        return;
    }
    m_window.refreshList();
}

void PlayerLogic::FileListMouseDown(MouseMods mods)
{
    if (mods.ctrl && !mods.alt)
        btn_renameClick();
}

void PlayerLogic::btn_deleteClick()
{
    const QString path = m_window.selectedPath();
    if (path.isEmpty() || !QFile::exists(path))
        return;
    if (!m_window.confirmTrash(path))
        return;
    if (!send_to_trash(path)) {
        m_window.showMessage("Could not send " + path + " to RecycleBin");
        return;
    }
    m_window.beep();
    m_window.refreshList();
}

void PlayerLogic::btn_quitClick()
{
    m_window.stopTimer();
    restoreLinks();
    m_chains.close(S::waveRead1);
    m_chains.close(S::waveOUT2);
    m_chains.close(S::codecTX);
    set_buttons_busy();
    m_window.stopTimer();
    m_window.processEvents();
    m_window.closeWindow();
}

void PlayerLogic::set_buttons_busy()
{
    for (auto b : {PlayerButton::btn_play, PlayerButton::btn_delete, PlayerButton::btn_send,
                   PlayerButton::btn_rename})
        m_window.setButtonEnabled(b, false);
    m_window.setButtonEnabled(PlayerButton::btn_stop, true);
}

void PlayerLogic::set_buttons_idle()
{
    for (auto b : {PlayerButton::btn_play, PlayerButton::btn_delete, PlayerButton::btn_send,
                   PlayerButton::btn_rename})
        m_window.setButtonEnabled(b, true);
    m_window.setButtonEnabled(PlayerButton::btn_stop, false);
}
