#pragma once
// The one place where the report sender meets libcurl: an easy handle made
// and ended, one transfer (an HTTP request, or an FTP upload of one file) run
// on it with the sender's rules, the HTTP header block of an answer read
// into its parts, and libcurl's failures turned into the 12xxx error codes
// the sender reports, with texts of our own.
//
// The rules every transfer follows: the agent "Crashbox"; no redirect is
// followed by libcurl (the HTTP connection follows them itself); no proxy
// from the environment, only the one the caller names, and hosts whose name
// holds no "." (local names) go around it; certificates are not checked
// (a report must reach a server with a self-made one); no "Expect" header;
// bodies are handed over in the caller's chunk size so that progress moves;
// a transfer ends when the connection cannot be made within the connect
// timeout, when nothing moves for the silence timeout, and in any case once
// it has taken the connect timeout and the transfer limit together (a server
// that never stops answering holds nobody for ever). Of an answer no more
// than kMaxAnswerHeader bytes of header and kMaxAnswerBody bytes of body are
// kept; a request that wants only the status ends once the header is in.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cv {

// --- Error codes ---

// The codes a failed transfer reports (those of the table of texts).
enum : int32_t {
    kInetErrorTimeout = 12002,
    kInetErrorExtended = 12003,        // the server refused: its reply says why
    kInetErrorInternal = 12004,
    kInetErrorInvalidURL = 12005,
    kInetErrorUnrecognizedScheme = 12006,
    kInetErrorNameNotResolved = 12007,
    kInetErrorIncorrectPassword = 12014,
    kInetErrorLoginFailure = 12015,
    kInetErrorOperationCancelled = 12017,
    kInetErrorCannotConnect = 12029,
    kInetErrorConnectionAborted = 12030,
    kInetErrorConnectionReset = 12031,
    kInetErrorSecurityChannel = 12157, // not in the table: the transfer's own text is given
    kInetErrorInvalidServerResponse = 12152,
    kInetErrorRedirectFailed = 12156,
    kInetErrorProxyUnreachable = 12165,
};

// The description of a code, "NNNNN text", from the table of the 76 codes
// the sender can meet; empty for any other code.
std::string_view WebErrorTableText(int32_t code);

// The server's last reply on this thread's last FTP transfer (every reply
// line of it), empty after an HTTP request. Kept per thread, as a report is
// sent by one thread from start to end.
std::string LastServerResponseText();
void SetLastServerResponseText(std::string text);

// What libcurl said of this thread's last failed transfer (for codes outside the table).
std::string LastTransferErrorText();

// --- Settings ---

// How long a transfer may wait: for the connection to be made, with no
// byte moving either way, and in all once connected. Process-wide; tests
// shorten them.
struct TWebTimeouts {
    int ConnectMs = 60000;
    int SilenceMs = 30000;
    int TransferMs = 120000;
};

// What is kept of an answer. A header block longer than this fails the
// transfer (12152); a body longer than this ends it, the body kept so far.
inline constexpr std::size_t kMaxAnswerHeader = 256 * 1024;
inline constexpr std::size_t kMaxAnswerBody = 4 * 1024 * 1024;
TWebTimeouts WebTimeouts();
void SetWebTimeouts(const TWebTimeouts& timeouts);

// --- The HTTP header block ---

// An answer's header block: the status line and the header lines. A line
// that starts with a blank or a tab continues the line before it.
struct THTTPHeaderBlock {
    bool HasStatusLine = false;
    std::string Version;    // "HTTP/1.1"
    std::string StatusCode; // as sent ("302")
    std::string StatusText; // the rest of the status line ("Found")
    std::vector<std::pair<std::string, std::string>> Lines; // name, value (both trimmed)
};
THTTPHeaderBlock ParseHTTPHeader(std::string_view raw);
// The value of the first header of that name (letter case ignored); empty when absent.
std::string HeaderValue(const THTTPHeaderBlock& block, std::string_view name);
bool HasHeader(const THTTPHeaderBlock& block, std::string_view name);
// The status code as a number; false when it is not a decimal number.
bool StatusCodeNumber(const THTTPHeaderBlock& block, int32_t& code);

// --- Transfers ---

struct TWebProxy {
    std::string Host; // empty: no proxy
    uint16_t Port = 0;
    std::string UserName;
    std::string Password;
};

// The easy handle, one per connection (or per upload).
class TWebHandle {
public:
    TWebHandle();
    ~TWebHandle();
    TWebHandle(const TWebHandle&) = delete;
    TWebHandle& operator=(const TWebHandle&) = delete;
    bool Valid() const { return fHandle != nullptr; }
    void* Native() const { return fHandle; }

private:
    void* fHandle = nullptr;
};

struct TWebRequest {
    std::string URL;  // scheme://host:port/path
    std::string Verb; // "GET" or "POST"; FTP: "STOR" (an upload) or "NOOP" (the login alone)
    std::vector<std::string> Headers;
    std::string_view Body;
    std::size_t ChunkSize = 4096;
    TWebProxy Proxy;
    bool KeepCookies = false; // the handle keeps cookies from request to request
    bool StatusOnly = false;  // only the status is wanted: the answer's body is not read
    std::string UserName, Password; // FTP login (HTTP sends its own header)
    // After each chunk of the body is handed over (chunk index from 0, bytes so far).
    std::function<void(std::size_t chunk, std::size_t sent)> OnChunkSent;
    // Once the body is all sent (also when there is none).
    std::function<void()> OnBodySent;
    // After each 4096 bytes of the answer (and its last piece): bytes so
    // far and the Content-Length (1 when absent or 0).
    std::function<void(std::size_t received, std::size_t contentLength)> OnReceived;
};

struct TWebReply {
    int32_t Error = 0;     // 0, or one of the 12xxx codes
    bool BadStatusLine = false; // the answer's status code was no number (Error 12152)
    std::string RawHeader; // the final answer's header block, every line ending in CR LF, then an empty line
    std::string Body;
    bool BodyCut = false; // the answer's body was longer than kMaxAnswerBody
};

// Runs one request on the handle. False (with Error set) when the exchange
// failed; an answer of any HTTP status is a success.
bool RunWebRequest(TWebHandle& handle, const TWebRequest& request, TWebReply& reply);

// True when libcurl can be used (made ready once for the process).
bool WebLibraryReady();

} // namespace cv
