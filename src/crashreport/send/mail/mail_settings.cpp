#include "crashreport/send/mail/mail_settings.h"

#include <mutex>

namespace cv {

namespace {

std::mutex g_settingsLock;

TMailSettings& Stored()
{
    static TMailSettings settings;
    return settings;
}

} // namespace

TMailSettings MailSettings()
{
    std::lock_guard lock(g_settingsLock);
    return Stored();
}

void SetMailSettings(const TMailSettings& settings)
{
    std::lock_guard lock(g_settingsLock);
    Stored() = settings;
}

} // namespace cv
