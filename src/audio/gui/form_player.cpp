// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/gui/form_player.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStorageInfo>
#include <QThread>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <QFileIconProvider>

form_player::form_player(PlayerChains& chains, const QString& programFolder, QWidget* parent)
    : QDialog(parent), m_logic(*this, chains, programFolder)
{
    setWindowTitle("Message player");
    setModal(true);

    driveSel = new QComboBox(this);
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes())
        if (v.isValid() && v.isReady())
            driveSel->addItem(QDir::toNativeSeparators(v.rootPath()), v.rootPath());

    m_dirs = new QFileSystemModel(this);
    m_dirs->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_dirs->setRootPath(QString());
    DirectorySel = new QTreeView(this);
    DirectorySel->setModel(m_dirs);
    for (int c = 1; c < m_dirs->columnCount(); ++c)
        DirectorySel->hideColumn(c);
    DirectorySel->setHeaderHidden(true);

    FileList = new QListWidget(this);
    FileList->setSelectionMode(QAbstractItemView::SingleSelection);
    FileList->viewport()->installEventFilter(this);

    auto makeButton = [this](const char* caption, const char* hint) {
        auto* b = new QPushButton(caption, this);
        b->setToolTip(hint);
        b->setAutoDefault(false);
        return b;
    };
    btn_play = makeButton("Play", "Play the selected audio");
    btn_stop = makeButton("Stop", "Stop current playback");
    btn_send = makeButton("Send", "Broadcast selected audio");
    btn_rename = makeButton("Edit", "Edit selected audio");
    btn_delete = makeButton("Trash", "Delete selected audio");
    btn_quit = makeButton("Quit", "Quit player");
    btn_stop->setEnabled(false);

    timer_player.setInterval(100);

    auto* left = new QVBoxLayout;
    left->addWidget(driveSel);
    left->addWidget(DirectorySel);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btn_play, btn_stop, btn_send, btn_rename, btn_delete, btn_quit})
        buttons->addWidget(b);
    auto* top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addWidget(FileList, 1);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(buttons);
    resize(560, 360);

    connect(driveSel, &QComboBox::activated, this, [this](int i) {
        setFolder(driveSel->itemData(i).toString());
    });
    // The folder tree fills in and sorts itself in the background, which moves the rows: the
    // chosen folder is brought back into sight each time, until the user scrolls the tree.
    connect(m_dirs, &QFileSystemModel::directoryLoaded, this, &form_player::keepFolderInSight);
    connect(m_dirs, &QAbstractItemModel::rowsInserted, this, &form_player::keepFolderInSight);
    connect(m_dirs, &QAbstractItemModel::layoutChanged, this, &form_player::keepFolderInSight);
    connect(DirectorySel->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { m_followFolder = false; });
    connect(DirectorySel, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        setFolder(m_dirs->filePath(index));
    });
    connect(btn_play, &QPushButton::clicked, this, [this] { m_logic.btn_playClick(); });
    connect(btn_stop, &QPushButton::clicked, this, [this] { m_logic.btn_stopClick(); });
    connect(btn_send, &QPushButton::clicked, this, [this] { m_logic.btn_sendClick(); });
    connect(btn_rename, &QPushButton::clicked, this, [this] { m_logic.btn_renameClick(); });
    connect(btn_delete, &QPushButton::clicked, this, [this] { m_logic.btn_deleteClick(); });
    connect(btn_quit, &QPushButton::clicked, this, [this] { m_logic.btn_quitClick(); });
    connect(FileList, &QListWidget::itemDoubleClicked, this, [this] { m_logic.FileListDblClick(); });
    connect(&timer_player, &QTimer::timeout, this, [this] { m_logic.timer_playerTimer(); });
}

QPushButton* form_player::button(PlayerButton b) const
{
    switch (b) {
    case PlayerButton::btn_play: return btn_play;
    case PlayerButton::btn_stop: return btn_stop;
    case PlayerButton::btn_send: return btn_send;
    case PlayerButton::btn_rename: return btn_rename;
    case PlayerButton::btn_delete: return btn_delete;
    case PlayerButton::btn_quit: return btn_quit;
    }
    return nullptr;
}

void form_player::setButtonEnabled(PlayerButton b, bool enabled) { button(b)->setEnabled(enabled); }

void form_player::setCaption(const QString& caption) { setWindowTitle(caption); }

QString form_player::selectedName() const
{
    const QListWidgetItem* item = FileList->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

QString form_player::selectedPath() const
{
    const QString name = selectedName();
    return name.isEmpty() ? QString() : QDir(m_folder).filePath(name);
}

void form_player::refreshList()
{
    FileList->clear();
    QFileIconProvider icons;
    const QFileInfoList files =
        QDir(m_folder).entryInfoList({"*.wav"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& f : files)
        FileList->addItem(new QListWidgetItem(icons.icon(f), f.fileName()));
}

void form_player::keepFolderInSight()
{
    if (!m_followFolder || m_followPending)
        return;
    m_followPending = true;   // once for a burst of changes, after they are laid out
    QTimer::singleShot(0, this, [this] {
        m_followPending = false;
        if (m_followFolder && !m_folder.isEmpty())
            DirectorySel->scrollTo(m_dirs->index(m_folder), QAbstractItemView::PositionAtCenter);
    });
}

bool form_player::setFolder(const QString& folder)
{
    if (!QDir(folder).exists() || !QDir::setCurrent(folder))
        return false;
    m_folder = QDir(folder).absolutePath();
    const QModelIndex index = m_dirs->index(m_folder);
    DirectorySel->setCurrentIndex(index);
    DirectorySel->scrollTo(index, QAbstractItemView::PositionAtCenter);
    refreshList();
    return true;
}

std::optional<QString> form_player::askSaveName(const QString& folder, const QString& name)
{
    if (saveDialogHook)
        return saveDialogHook(folder, name);
    QFileDialog SaveDialog1(this, QString(), QDir(folder).filePath(name), "wav (*.wav)");
    SaveDialog1.setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1.setDefaultSuffix("wav");
    if (SaveDialog1.exec() != QDialog::Accepted || SaveDialog1.selectedFiles().isEmpty())
        return std::nullopt;
    return SaveDialog1.selectedFiles().constFirst();
}

bool form_player::confirmTrash(const QString& path)
{
    if (confirmHook)
        return confirmHook(path);
    return QMessageBox::question(this, "Delete File",
                                 "Are you sure you want to move '" + QFileInfo(path).fileName()
                                     + "' to the Recycle Bin?")
        == QMessageBox::Yes;
}

void form_player::showMessage(const QString& text)
{
    if (QGuiApplication::platformName() == "offscreen")
        return; // no one to answer a box
    QMessageBox::critical(this, windowTitle(), text);
}

void form_player::beep() { QApplication::beep(); }
void form_player::processEvents() { QCoreApplication::processEvents(); }
void form_player::sleepMs(int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }
void form_player::startTimer() { timer_player.start(); }
void form_player::stopTimer() { timer_player.stop(); }
void form_player::closeWindow() { close(); }

void form_player::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        m_logic.FormShow();
}

void form_player::closeEvent(QCloseEvent* event)
{
    if (!m_closed) {
        m_closed = true;
        m_logic.FormClose();
    }
    QDialog::closeEvent(event);
}

void form_player::reject()
{
    if (!m_closed) {
        m_closed = true;
        m_logic.FormClose();
    }
    QDialog::reject();
}

bool form_player::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FileList->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (QListWidgetItem* item = FileList->itemAt(mouse->position().toPoint()))
            FileList->setCurrentItem(item);
        const auto mods = mouse->modifiers();
        m_logic.FileListMouseDown({mods.testFlag(Qt::AltModifier), mods.testFlag(Qt::ControlModifier)});
        return mods.testFlag(Qt::ControlModifier);
    }
    return QDialog::eventFilter(watched, event);
}

void run_message_player(QWidget* parent, PlayerChains& chains, const QString& programFolder)
{
    auto* player = new form_player(chains, programFolder, parent);
    player->exec();
    delete player;
    if (parent)
        parent->repaint();
}
