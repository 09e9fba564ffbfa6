#include "crashreport/send/mail/client_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <vector>

#include "crashreport/core/support/exception_object.h"
#include "crashreport/send/mail/mail_settings.h"

namespace cv {

namespace {

using Clock = std::chrono::steady_clock;

int64_t MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string SystemErrorText(int error) { return std::system_category().message(error); }

// poll() for one event, resumed after signals, within the time left.
int PollFor(int socket, short events, int32_t milliseconds, short& revents)
{
    const Clock::time_point start = Clock::now();
    for (;;) {
        const int64_t left = milliseconds < 0 ? -1 : std::max<int64_t>(0, milliseconds - MillisecondsSince(start));
        pollfd p{socket, events, 0};
        const int r = ::poll(&p, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        revents = p.revents;
        return r;
    }
}

} // namespace

uint32_t ResolveHostAddress(const std::string& host)
{
    if (host.empty())
        return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return 0;
    uint32_t address = 0;
    if (found->ai_addr && found->ai_addrlen >= sizeof(sockaddr_in))
        address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return address;
}

TCrashboxClientSocket::TCrashboxClientSocket(std::string host, uint16_t port, bool useStream, uint32_t timeout)
    : FHost(std::move(host)), FPort(port), FType(useStream ? kStream : kDatagram), FTimeout(timeout),
      fReplySilence(int32_t(MailSettings().ReplySilence))
{
    FAddr.sin_family = AF_INET;
}

TCrashboxClientSocket::~TCrashboxClientSocket() { ReleaseSocket(); }

void TCrashboxClientSocket::ReleaseSocket()
{
    if (FSocket != -1)
        ::close(FSocket);
    FSocket = -1;
    FConnected = false;
}

void TCrashboxClientSocket::Open()
{
    if (FConnected)
        return;
    fPeerClosed = false;
    FSocket = ::socket(AF_INET, (FType == kStream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
    if (FSocket == -1)
        RaiseError("Invalid socket: \"" + SystemErrorText(errno) + "\".");
    FAddr.sin_family = AF_INET;
    FAddr.sin_addr.s_addr = ResolveHostAddress(FHost);
    FAddr.sin_port = htons(FPort);
    if (FAddr.sin_addr.s_addr == 0) {
        // A socket that never connected is not kept.
        ReleaseSocket();
        throw ECrashboxSocketError("Unable to resolve host \"" + FHost + "\".");
    }
    if (!ConnectWithTimeout()) {
        const int error = errno;
        ReleaseSocket();
        RaiseError("Connection error: \"" + SystemErrorText(error) + "\"");
    }
    // A peer that stops reading must not hold a send for longer than the time-out.
    if (FTimeout > 0) {
        timeval limit{time_t(FTimeout / 1000), suseconds_t((FTimeout % 1000) * 1000)};
        ::setsockopt(FSocket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    FConnected = true;
    const auto* a = reinterpret_cast<const uint8_t*>(&FAddr.sin_addr.s_addr);
    FLog = "Connected to " + std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]) + " port " + std::to_string(FPort) + "\r\n";
    FErrorLog.clear();
}

bool TCrashboxClientSocket::ConnectWithTimeout()
{
    const int flags = ::fcntl(FSocket, F_GETFL);
    if (FTimeout > 0)
        ::fcntl(FSocket, F_SETFL, flags | O_NONBLOCK);
    int r = ::connect(FSocket, reinterpret_cast<const sockaddr*>(&FAddr), sizeof FAddr);
    if (r != 0 && errno == EINPROGRESS) {
        short revents = 0;
        if (PollFor(FSocket, POLLOUT, int32_t(FTimeout), revents) == 0) {
            errno = ETIMEDOUT;
            return false;
        }
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            errno = error;
            return false;
        }
        r = 0;
    }
    if (r != 0)
        return false;
    ::fcntl(FSocket, F_SETFL, flags & ~O_NONBLOCK);
    return true;
}

void TCrashboxClientSocket::Close()
{
    if (FSocket != -1 && ::close(FSocket) != 0) {
        // The system releases the descriptor even when close reports an error.
        const int error = errno;
        FSocket = -1;
        FConnected = false;
        RaiseError("Cannot close the socket: \"" + SystemErrorText(error) + "\"");
    }
    FSocket = -1;
    FAddr = sockaddr_in{};
    FAddr.sin_family = AF_INET;
    FConnected = false;
    FLog.clear();
    FErrorLog.clear();
}

int32_t TCrashboxClientSocket::SendBuffer(std::span<const char> buffer)
{
    if (!FConnected)
        return 0;
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t r = ::send(FSocket, buffer.data() + done, buffer.size() - done, MSG_NOSIGNAL);
        if (r >= 0) {
            done += std::size_t(r);
            continue;
        }
        if (errno == EINTR)
            continue;
        // The socket blocks, so "would block" means the send time-out ran out.
        const int error = (errno == EAGAIN || errno == EWOULDBLOCK) ? ETIMEDOUT : errno;
        Close();
        RaiseError("Error into \"send\": \"" + SystemErrorText(error) + "\"");
    }
    FErrorLog.clear();
    return int32_t(done);
}

int32_t TCrashboxClientSocket::ReceiveBuffer(std::span<char> buffer)
{
    if (!FConnected)
        return 0;
    for (;;) {
        // Only what has arrived is taken: a receive never waits.
        const ssize_t r = ::recv(FSocket, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (r >= 0)
            return int32_t(r);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return -1;
        ReceiveFailed(errno);
    }
}

void TCrashboxClientSocket::ReceiveFailed(int error)
{
    Close();
    RaiseError("Error into \"recv\": \"" + SystemErrorText(error) + "\"");
}

int32_t TCrashboxClientSocket::BytesWaiting() const
{
    int waiting = 0;
    if (!FConnected || ::ioctl(FSocket, FIONREAD, &waiting) != 0)
        return 0;
    return waiting;
}

TCrashboxClientSocket::TWait TCrashboxClientSocket::WaitForData(int32_t milliseconds)
{
    const Clock::time_point start = Clock::now();
    for (;;) {
        if (!FConnected || fPeerClosed)
            return TWait::Closed;
        const int64_t left = milliseconds - MillisecondsSince(start);
        short revents = 0;
        if (left <= 0 || PollFor(FSocket, POLLIN, int32_t(left), revents) == 0)
            return TWait::Silence;
        if (BytesWaiting() > 0)
            return TWait::Data;
        // Readable with nothing waiting: the peer's end of a stream, an empty
        // datagram, or an error (a refused datagram, a reset), which the
        // receive raises.
        char byte = 0;
        const ssize_t r = ::recv(FSocket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (r > 0)
            return TWait::Data;
        if (r == 0) {
            if (FType == kStream) {
                fPeerClosed = true;
                return TWait::Closed;
            }
            ReceiveBuffer(std::span(&byte, 1)); // drops the empty datagram
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            continue;
        // The error was taken by this look: it is raised here.
        ReceiveFailed(errno);
    }
}

int32_t TCrashboxClientSocket::SendText(std::string_view text)
{
    int32_t sent = 0;
    for (std::size_t position = 0; position < text.size();) {
        const std::size_t count = std::min(kSendChunk, text.size() - position);
        sent += SendBuffer(text.substr(position, count));
        position += count;
        if (FOnSent)
            FOnSent(*this, int32_t(position + 1), int32_t(text.size()));
    }
    return sent;
}

void TCrashboxClientSocket::ReceiveText(std::string& text)
{
    text.clear();
    int32_t waiting = BytesWaiting();
    std::vector<char> buffer;
    const Clock::time_point start = Clock::now();
    while (waiting > 0) {
        // A peer that never falls silent holds us no longer than the time-out.
        if (FTimeout > 0 && !text.empty() && MillisecondsSince(start) >= int64_t(FTimeout))
            return;
        buffer.resize(std::size_t(waiting));
        const int32_t r = ReceiveBuffer(buffer);
        const std::string_view chunk(buffer.data(), r > 0 ? std::size_t(r) : 0);
        text += chunk;
        FLog += chunk;
        FErrorLog += chunk;
        if (WaitForData(fReplySilence) != TWait::Data)
            return;
        waiting = BytesWaiting();
    }
}

void TCrashboxClientSocket::ReceiveReply(std::string& text, const std::function<bool(std::string_view)>& whole,
                                         std::size_t maxBytes)
{
    constexpr std::size_t kReadLimit = 64 * 1024;
    text.clear();
    const Clock::time_point start = Clock::now();
    std::vector<char> buffer;
    while (!whole(text)) {
        const int64_t left = int64_t(FTimeout) - MillisecondsSince(start);
        if (left <= 0 || WaitForData(int32_t(left)) != TWait::Data)
            break;
        // One more byte than the reply may have tells a reply too long.
        const std::size_t room = maxBytes + 1 - text.size();
        buffer.resize(std::min({std::size_t(std::max(BytesWaiting(), 1)), room, kReadLimit}));
        const int32_t r = ReceiveBuffer(buffer);
        if (r <= 0)
            continue;
        const std::string_view chunk(buffer.data(), std::size_t(r));
        text += chunk;
        FLog += chunk;
        FErrorLog += chunk;
        if (text.size() > maxBytes)
            RaiseError("The reply is longer than " + std::to_string(maxBytes) + " bytes.");
    }
    if (text.empty())
        RaiseError(fPeerClosed ? "Connection closed by the peer." : "Socket timeout.");
}

void TCrashboxClientSocket::GetFullText(std::string& text)
{
    const Clock::time_point start = Clock::now();
    for (;;) {
        ReceiveText(text);
        if (!text.empty())
            return;
        const int64_t left = int64_t(FTimeout) - MillisecondsSince(start);
        if (left <= 0 || WaitForData(int32_t(left)) == TWait::Closed)
            return;
    }
}

void TCrashboxClientSocket::ReceiveFullText(std::string& text)
{
    GetFullText(text);
    if (text.empty())
        RaiseError(fPeerClosed ? "Connection closed by the peer." : "Socket timeout.");
}

void TCrashboxClientSocket::RaiseError(std::string message)
{
    const std::size_t at = FLog.empty() ? std::string::npos : message.find(FLog);
    if (at == std::string::npos)
        message += "\r\n\r\nError log:\r\n" + FErrorLog + "\r\n\r\nSocket log:\r\n" + FLog;
    else if (at == 0)
        message = "Error log:\r\n" + FErrorLog + "\r\n\r\nSocket log:\r\n" + message;
    else
        message += "\r\n\r\nError log:\r\n" + FErrorLog;
    message += "\r\n\r\nDestination: " + FHost + ":" + std::to_string(FPort);
    if (FOnError)
        FOnError(*this, -1, message);
    if (message.size() > kMaxErrorMessage) {
        message.resize(kMaxErrorMessage);
        message += "...";
    }
    if (FQuietErrors)
        throw EAbort();
    throw ECrashboxSocketError(message);
}

} // namespace cv
