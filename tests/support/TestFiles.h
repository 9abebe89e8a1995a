#pragma once

#include <QByteArray>
#include <QString>

#include <sys/resource.h>

// Files on disk as the tests see them: raw bytes, no code page involved.
namespace TestFiles {

// The file's bytes, or "<unreadable>" when it cannot be read.
QByteArray read(const QString& path);
bool write(const QString& path, const QByteArray& bytes);

// While it lives, no file of this process grows past `bytes`: a write
// beyond fails as it would on a full disk.
class DiskFull
{
public:
    explicit DiskFull(rlim_t bytes);
    ~DiskFull();
    DiskFull(const DiskFull&) = delete;
    DiskFull& operator=(const DiskFull&) = delete;

    bool active() const { return active_; }

private:
    rlimit saved_{};
    bool active_ = false;
};

} // namespace TestFiles
