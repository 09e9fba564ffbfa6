#pragma once
// Threads that cannot be started, for tests of jobs that start some: while
// a TThreadsRefused lives, every thread the process starts with the
// default attributes (std::thread does) asks for a stack larger than the
// address space, and the system refuses it as it refuses a thread under a
// tight limit of memory (std::thread throws std::system_error).

#include <pthread.h>

#include <cstddef>

namespace cvtest {

class TThreadsRefused {
public:
    TThreadsRefused()
    {
        m_saved = pthread_getattr_default_np(&m_old) == 0;
        pthread_attr_t huge;
        pthread_attr_init(&huge);
        pthread_attr_setstacksize(&huge, std::size_t(1) << 50);
        pthread_setattr_default_np(&huge);
        pthread_attr_destroy(&huge);
    }
    ~TThreadsRefused()
    {
        if (m_saved) {
            pthread_setattr_default_np(&m_old);
            pthread_attr_destroy(&m_old);
        }
    }
    TThreadsRefused(const TThreadsRefused&) = delete;
    TThreadsRefused& operator=(const TThreadsRefused&) = delete;

private:
    pthread_attr_t m_old;
    bool m_saved = false;
};

} // namespace cvtest
