#pragma once

#include <QSet>
#include <QString>

// The threads of this process (their ids under /proc/self/task).
QSet<QString> Threads();
// A thread's voluntary context switches so far: each is a wake-up after a
// sleep; -1 when the thread is gone.
long VoluntarySwitches(const QString& tid);
