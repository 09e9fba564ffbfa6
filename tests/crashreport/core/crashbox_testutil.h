#pragma once
// The crash-report core's tests keep the settings folder and the library
// data folder in a temporary folder of their own.

#include <gtest/gtest.h>

#include <QByteArray>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include "support/test_support.h"

namespace cvtest {

class CrashboxFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        oldConfig = qgetenv("XDG_CONFIG_HOME");
        oldData = qgetenv("XDG_DATA_HOME");
        hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        hadData = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        qputenv("XDG_CONFIG_HOME", dir.file("config").toUtf8());
        qputenv("XDG_DATA_HOME", dir.file("data").toUtf8());
    }
    void TearDown() override
    {
        hadConfig ? qputenv("XDG_CONFIG_HOME", oldConfig) : qunsetenv("XDG_CONFIG_HOME");
        hadData ? qputenv("XDG_DATA_HOME", oldData) : qunsetenv("XDG_DATA_HOME");
    }
    std::string path(const char* name) const { return dir.file(QString::fromUtf8(name)).toStdString(); }
    std::string settingsFolder() const { return path("config/Crashbox"); }
    std::string dataFolder() const { return path("data/Crashbox"); }

    TempDir dir;

private:
    QByteArray oldConfig, oldData;
    bool hadConfig = false, hadData = false;
};

// Runs with the zone set by TZ, and puts the old one back.
class InZone {
public:
    explicit InZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            fOld = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~InZone()
    {
        fOld ? setenv("TZ", fOld->c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    InZone(const InZone&) = delete;
    InZone& operator=(const InZone&) = delete;

private:
    std::optional<std::string> fOld;
};

// Sets a file's or folder's last change two minutes back (a link itself,
// not what it names): a report folder left that long counts as abandoned.
inline void SetBackLastChange(const std::string& path)
{
    timespec times[2]{};
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 120;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

} // namespace cvtest
