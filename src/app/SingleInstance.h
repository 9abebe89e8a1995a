#pragma once

#include <QLockFile>
#include <QString>

class Prompts;

// One running program per user. The lock lives in the user's runtime folder;
// a lock left behind by a program that died is taken over, since its process
// is gone.
class SingleInstance
{
public:
    explicit SingleInstance(const QString& lockPath = defaultLockPath());

    // True when this process now holds the lock. Otherwise the user is told
    // that the program is already running, and false is returned.
    bool claim(Prompts& prompts);

    static QString defaultLockPath();

private:
    QLockFile lock_;
};
