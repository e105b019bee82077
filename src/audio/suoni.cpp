#include "audio/suoni.h"

#include <QDir>
#include <QFileInfo>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

QString cue_file(unsigned index)
{
    switch (index) {
    case 1: return QStringLiteral("btn1.wav");
    case 2: return QStringLiteral("btn2.wav");
    case 3: return QStringLiteral("btn3.wav");
    case 4: return QStringLiteral("alarm1.wav");
    case 5: return QStringLiteral("btn5.wav");
    case 6: return QStringLiteral("btn6.wav");
    case 10: return QStringLiteral("gpsON.wav");
    case 11: return QStringLiteral("gpsOFF.wav");
    case 15: return QStringLiteral("alarm1.wav");
    case 16: return QStringLiteral("alarm4.wav");
    case 20: return QStringLiteral("tx.wav");
    default: return {};
    }
}

QtCuePlayer::QtCuePlayer(QString programFolder, std::function<void()> beep)
    : m_folder(std::move(programFolder)), m_beep(std::move(beep))
{
}

QtCuePlayer::~QtCuePlayer() = default;

void QtCuePlayer::play_cue(unsigned index)
{
    // Cues are looked for beside the program, not in the current directory (the message player
    // changes that).
    const QString name = cue_file(index);
    const QString path = QDir(m_folder).filePath(name);
    if (name.isEmpty() || !QFileInfo(path).isFile() || QMediaDevices::audioOutputs().isEmpty()) {
        if (m_beep)
            m_beep();
        return;
    }
    if (m_effect)
        m_effect->stop();
    // A fresh effect per cue: the one in progress is cut, the new one starts at once.
    m_effect = std::make_unique<QSoundEffect>();
    m_effect->setSource(QUrl::fromLocalFile(path));
    QObject::connect(m_effect.get(), &QSoundEffect::statusChanged, m_effect.get(), [this, effect = m_effect.get()] {
        if (effect->status() == QSoundEffect::Error && m_beep)
            m_beep();
    });
    m_effect->play();
}
