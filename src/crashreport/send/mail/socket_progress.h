#pragma once
// The send-progress dialog's bar follows what a mail socket has sent.

#include <cstdint>

namespace cv {

class TCrashboxClientSocket;

// The socket's send event while the dialog exists: the bar moves to
// sent * 100 div total.
struct TSendObject {
    static void OnSent(TCrashboxClientSocket& sender, int32_t sent, int32_t total);
};
// While the dialog exists, the socket's sends move the bar through TSendObject::OnSent.
void HookSocketProgress(TCrashboxClientSocket& socket);
// Ends that; a dialog shown modeless on the sending thread is destroyed.
void UnhookSocketProgress(TCrashboxClientSocket& socket);

} // namespace cv
