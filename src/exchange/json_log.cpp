// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/json_log.h"

#include <QAbstractEventDispatcher>
#include <QDateTime>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace exchange {

JsonLog::JsonLog(QObject* parent) : QObject(parent) {
    retry_.setInterval(1000);
    connect(&retry_, &QTimer::timeout, this, &JsonLog::flush);
}

JsonLog::~JsonLog() {
    if (fd_ >= 0) {
        flush();
        ::close(fd_);
    }
}

bool JsonLog::open(const QString& path, bool announceRestart) {
    path_ = path;
    const QByteArray name = path.toLocal8Bit();
    fd_ = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = QStringLiteral("not a regular file");
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    goodSize_ = st.st_size;
    if (goodSize_ > 0) {
        char last = '\n';
        if (::pread(fd_, &last, 1, goodSize_ - 1) == 1 && last != '\n')
            pending_ += '\n';   // the earlier run's last line was cut: ours begin on a line of their own
        if (announceRestart)
            queueEvent("restarted");
    }
    return true;
}

void JsonLog::queueEvent(const char* event, const QString& detail) {
    QByteArray line = QByteArrayLiteral("{\"event\":\"") + event + '"';
    if (!detail.isEmpty())
        line += ',' + detail.toUtf8();
    line += ",\"time\":\"" + QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + "\"}\n";
    pending_ += line;
}

void JsonLog::write(const QByteArray& line) {
    if (fd_ < 0)
        return;
    if (failing_ && (dropped_ > 0 || pending_.size() + line.size() + 1 > backlogLimit_)) {
        // Over the bound while the file refuses: counted, and once dropping began every later
        // line is dropped too, so the gap in the log is one stretch of time.
        ++dropped_;
        ++droppedTotal_;
        return;
    }
    pending_ += line;
    pending_ += '\n';
}

void JsonLog::flush() {
    if (fd_ < 0 || pending_.isEmpty())
        return;
    qsizetype done = 0;
    int error = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::write(fd_, pending_.constData() + done, size_t(pending_.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
    }
    if (done == pending_.size()) {
        goodSize_ += done;
        pending_.clear();
        if (failing_) {
            failing_ = false;
            retry_.stop();
            const qint64 lost = dropped_;
            dropped_ = 0;
            if (lost > 0) {
                queueEvent("log-gap", QStringLiteral("\"lost\":%1").arg(lost));
                flush();
            }
            if (notice_)
                notice_(lost > 0 ? QStringLiteral("the log %1 is written again; %2 lines could not be kept")
                                       .arg(path_)
                                       .arg(lost)
                                 : QStringLiteral("the log %1 is written again, nothing lost").arg(path_));
        }
        return;
    }
    // Keep the whole lines that reached the file; a line cut short is taken back out of it.
    const qsizetype whole = done > 0 ? pending_.lastIndexOf('\n', done - 1) + 1 : 0;
    if (done > whole && ::ftruncate(fd_, goodSize_ + whole) != 0)
        error = errno;
    goodSize_ += whole;
    pending_.remove(0, whole);
    if (!failing_) {
        failing_ = true;
        // Without an event loop (a single record sent from the command line) the next flush retries.
        if (QAbstractEventDispatcher::instance())
            retry_.start();
        if (notice_)
            notice_(QStringLiteral("cannot write the log %1 (%2); records are still relayed and kept "
                                   "in memory, and the log is written again when it can")
                        .arg(path_, QString::fromLocal8Bit(std::strerror(error))));
    }
}

} // namespace exchange
