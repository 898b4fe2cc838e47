#include "sound/uDistillFolderLock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

TDistillFolderLock::TDistillFolderLock(const std::string& Folder, const std::string& Name) {
    std::string path = Folder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += "." + Name + ".lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const bool mainThread =
        QCoreApplication::instance() && QThread::currentThread() == qApp->thread();
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            ::close(fd);
            return;
        }
        if (mainThread) {
            QEventLoop wait;
            QTimer::singleShot(50, &wait, &QEventLoop::quit);
            wait.exec();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    Fd_ = fd;
}

TDistillFolderLock::~TDistillFolderLock() {
    if (Fd_ >= 0) {
        ::flock(Fd_, LOCK_UN);
        ::close(Fd_);
    }
}
