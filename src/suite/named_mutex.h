#pragma once
// The suite's named mutex: the controller creates and holds
// "Corvantis Tools mutex" for as long as it runs; a tool only tests whether
// it exists, to learn whether the controller is running.
//
// Here a named mutex is a lock file in the suite's own temporary folder
// (private_files.h), held with an exclusive advisory lock. The lock dies with its process, so a mutex left
// by a crashed controller counts as absent.

#include <QString>

#include <memory>

namespace cv {

class TNamedMutex {
public:
    // Creates (or takes over a stale) mutex and holds it until destroyed.
    // Null, with the reason in error, when another process holds it.
    static std::unique_ptr<TNamedMutex> Create(const QString& name, QString* error = nullptr);
    // Opens only, never creates: true when a living process holds the mutex.
    static bool Exists(const QString& name);
    // The lock file that stands for the mutex.
    static QString LockFileName(const QString& name);

    ~TNamedMutex();
    TNamedMutex(const TNamedMutex&) = delete;
    TNamedMutex& operator=(const TNamedMutex&) = delete;

private:
    explicit TNamedMutex(int fd) : m_fd(fd) {}
    int m_fd;
};

// "Corvantis Tools mutex", or $CV_MUTEX_NAME (so that tests run side by side).
QString ControllerMutexName();
// The tool's start-up test: is the controller running?
bool ControllerMutexExists();

} // namespace cv
