// SPDX-License-Identifier: GPL-3.0-or-later
// The exchange's JSON traffic log: one line per record, appended to a file that outlives the
// exchange. A course goes on when the log cannot be written: lines wait in memory (up to a bound)
// and are written when the disk takes them again; what is on disk stays whole lines.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace exchange {

class JsonLog : public QObject {
public:
    explicit JsonLog(QObject* parent = nullptr);
    ~JsonLog() override;

    // Opens `path` for appending, creating it when missing. A file that already holds lines gets
    // a line saying the exchange restarted (unless `announceRestart` is false: a single record
    // sent from the command line); a last line cut short (a crash, a full disk) is left as it
    // stands and the new lines begin on a line of their own. False, with errorString(), when the
    // file cannot be opened at all.
    bool open(const QString& path, bool announceRestart = true);
    bool isOpen() const { return fd_ >= 0; }
    QString errorString() const { return error_; }

    // Queues one line (without its line end); written at the next flush().
    void write(const QByteArray& line);
    // Writes what is queued. When the file refuses (disk full, I/O error) the lines stay queued,
    // the notice is given once, and the log tries again every second and at every flush.
    void flush();

    // Told once when writing stops and once when it works again: texts for the instructor.
    void setNotice(std::function<void(const QString&)> notice) { notice_ = std::move(notice); }

    // Lines waiting while the file refuses them are kept up to this many bytes; later ones are
    // counted and the count is written to the log when it works again.
    void setBacklogLimit(qsizetype bytes) { backlogLimit_ = bytes; }
    bool failing() const { return failing_; }
    qint64 droppedLines() const { return droppedTotal_; }

private:
    void queueEvent(const char* event, const QString& detail = {});

    int fd_ = -1;
    QString path_;
    QString error_;
    QByteArray pending_;         // whole lines, each with its line end
    qint64 goodSize_ = 0;        // the file's size after the last whole line written
    bool failing_ = false;
    qsizetype backlogLimit_ = 8 << 20;
    qint64 dropped_ = 0;         // lines dropped since writing stopped
    qint64 droppedTotal_ = 0;
    QTimer retry_;
    std::function<void(const QString&)> notice_;
};

} // namespace exchange
