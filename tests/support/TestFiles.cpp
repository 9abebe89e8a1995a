#include "TestFiles.h"

#include <QFile>

#include <csignal>

QByteArray TestFiles::read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool TestFiles::write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TestFiles::DiskFull::DiskFull(rlim_t bytes)
{
    // The write then fails with an error instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    if (getrlimit(RLIMIT_FSIZE, &saved_) != 0)
        return;
    rlimit small = saved_;
    small.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
}

TestFiles::DiskFull::~DiskFull()
{
    if (active_)
        setrlimit(RLIMIT_FSIZE, &saved_);
}
