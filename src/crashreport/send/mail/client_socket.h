#pragma once
// A small blocking IPv4 client socket (TCP or UDP) for the report's own mail
// and name-server conversations. It keeps a text log of the conversation and
// raises ECrashboxSocketError with that log attached when anything fails.
//
// Waiting is bounded everywhere: connecting and each send give up after the
// socket's time-out, the first byte of a reply is awaited at most that long.
// A reply whose end the caller can tell (ReceiveReply: an SMTP reply) is
// judged as soon as it is whole, bounded by the time-out and by a size; any
// other (ReceiveText: a name server's datagram) ends after the reply silence
// (one second unless the mail settings say otherwise) without another byte.

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace cv {

// Base of every error of the report's own network code.
class ECrashboxWinSockError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Every failure of a client socket, of the SMTP layer and of the MX lookup;
// the message carries the conversation's log.
class ECrashboxSocketError : public ECrashboxWinSockError {
public:
    using ECrashboxWinSockError::ECrashboxWinSockError;
};

// A socket function the system does not provide. The sockets here are the
// system's own calls, always present, so nothing raises it; callers that
// catch it keep working.
class ECrashboxFuncNotFoundError : public ECrashboxSocketError {
public:
    using ECrashboxSocketError::ECrashboxSocketError;
};

class TCrashboxClientSocket;
// Told of every failure before it is raised (errorCode is always -1).
using TSocketErrorEvent = std::function<void(TCrashboxClientSocket& sender, int32_t errorCode, const std::string& errorMsg)>;
// Told after each chunk sent: the 1-based position of the next byte, and the text's length.
using TSocketSendEvent = std::function<void(TCrashboxClientSocket& sender, int32_t bytesSent, int32_t totalBytes)>;

// The IPv4 address (network order) of the host's first address; 0 when the
// name cannot be resolved.
uint32_t ResolveHostAddress(const std::string& host);

class TCrashboxClientSocket {
public:
    static constexpr int32_t kStream = 1;
    static constexpr int32_t kDatagram = 2;
    static constexpr std::size_t kSendChunk = 1024;
    static constexpr std::size_t kMaxErrorMessage = 1024;

    // Timeout: milliseconds to wait for the first byte of a reply (and for
    // connecting and for each send). The reply silence comes from the mail settings.
    TCrashboxClientSocket(std::string host, uint16_t port, bool useStream, uint32_t timeout);
    virtual ~TCrashboxClientSocket();
    TCrashboxClientSocket(const TCrashboxClientSocket&) = delete;
    TCrashboxClientSocket& operator=(const TCrashboxClientSocket&) = delete;

    // Connects (nothing when connected already). An unknown host raises
    // "Unable to resolve host "<host>"." without logs.
    virtual void Open();
    virtual void Close();

    // Sends the text in chunks of 1024 bytes; the bytes the system took.
    int32_t SendText(std::string_view text);
    // What has arrived, without waiting for a first byte; ends after the
    // reply silence, or once it has taken the time-out. Appended to the log
    // and the error log.
    void ReceiveText(std::string& text);
    // Waits up to the time-out for a reply; may come back empty.
    void GetFullText(std::string& text);
    // As GetFullText; nothing gives "Socket timeout." (or, when the peer
    // closed the connection, "Connection closed by the peer.").
    void ReceiveFullText(std::string& text);
    // Receives one reply, taking what arrives as it arrives until `whole`
    // says the text is a whole reply, within the time-out (from now). A
    // reply cut short by the time-out or by the peer's end comes back as it
    // is; nothing at all raises as ReceiveFullText does; more than maxBytes
    // raises "The reply is longer than N bytes.". Appended to the log and
    // the error log.
    void ReceiveReply(std::string& text, const std::function<bool(std::string_view)>& whole, std::size_t maxBytes);

    bool Connected() const { return FConnected; }
    const std::string& Host() const { return FHost; }
    uint16_t Port() const { return FPort; }
    int32_t Type() const { return FType; }
    uint32_t Timeout() const { return FTimeout; }
    const sockaddr_in& Address() const { return FAddr; }
    int32_t ReplySilence() const { return fReplySilence; }
    void SetReplySilence(int32_t milliseconds) { fReplySilence = milliseconds; }

    // The conversation: the "Connected to ..." line, every command the SMTP
    // layer sent and every byte received, in order.
    std::string FLog;
    // What was received since the last command was sent (the last reply).
    std::string FErrorLog;
    TSocketErrorEvent FOnError;
    TSocketSendEvent FOnSent;
    // Failures end in a silent EAbort instead of ECrashboxSocketError.
    bool FQuietErrors = false;

protected:
    // Sends the whole buffer (0 when not connected, -1 on failure).
    int32_t SendBuffer(std::span<const char> buffer);
    // Receives up to buffer.size() bytes (0 when not connected).
    int32_t ReceiveBuffer(std::span<char> buffer);
    // The bytes waiting to be received (the size of the next datagram).
    int32_t BytesWaiting() const;
    // Builds the message with the logs and the destination, tells FOnError
    // and raises.
    [[noreturn]] void RaiseError(std::string message);

private:
    enum class TWait { Data, Silence, Closed };
    // Waits up to `milliseconds` for something to read: data, or an error
    // that the receive then raises.
    TWait WaitForData(int32_t milliseconds);
    // Connects the descriptor within the time-out; false with errno set.
    bool ConnectWithTimeout();
    void ReleaseSocket();
    // Closes the socket and raises the receive's error.
    [[noreturn]] void ReceiveFailed(int error);

    sockaddr_in FAddr{};
    std::string FHost;
    uint16_t FPort;
    int32_t FType;
    uint32_t FTimeout;
    bool FConnected = false;
    int FSocket = -1;
    int32_t fReplySilence;
    bool fPeerClosed = false;
};

} // namespace cv
