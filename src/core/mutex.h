// A named lock. The audio streaming and HTTP worker threads share data with the main thread through it.
// Recursive, so that a thread that already holds it may take it again.
#pragma once

#include <mutex>

class CMutex {
public:
    // The name only says what the lock guards; it is not kept.
    explicit CMutex(const char* name = nullptr) { (void)name; }
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    // Returns true once the lock is held.
    bool Lock() {
        m_mutex.lock();
        return true;
    }
    void Unlock() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};
