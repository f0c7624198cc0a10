#pragma once

#include <QString>

// Holds a lock named after a text for as long as the object lives; the system releases it
// when the process ends, however it ends.
class SingleInstance {
public:
    explicit SingleInstance(const QString& name);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another process holds the lock of the same name.
    bool isFirst() const { return m_first; }

    // The lock file of name: one per user, in the system's temporary folder.
    static QString lockPath(const QString& name);

private:
    int m_fd = -1;
    bool m_first = true;
};
