#include "crashreport/send/mail/socket_progress.h"

#include "crashreport/send/context/send_context.h"
#include "crashreport/send/mail/client_socket.h"

namespace cv {

void TSendObject::OnSent(TCrashboxClientSocket&, int32_t sent, int32_t total)
{
    if (total != 0)
        SetSendDialogProgress(int32_t(int64_t(sent) * 100 / total));
}

void HookSocketProgress(TCrashboxClientSocket& socket)
{
    if (!SendDialogExists())
        return;
    socket.FOnSent = &TSendObject::OnSent;
}

void UnhookSocketProgress(TCrashboxClientSocket& socket)
{
    DestroyModelessSendDialog();
    socket.FOnSent = nullptr;
}

} // namespace cv
