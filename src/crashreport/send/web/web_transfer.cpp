#include "crashreport/send/web/web_transfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace cv {

namespace {

// Each code with our description of it, "NNNNN text".
constexpr std::array<std::string_view, 76> kErrorTexts = {
    "12001 No more Internet handles can be made now.",
    "12002 The request took too long and was given up.",
    "12003 The server answered with an error; its reply tells more.",
    "12004 Something went wrong inside the Internet functions.",
    "12005 The address is not a valid URL.",
    "12006 The scheme of the address is not one that can be used.",
    "12007 The name of the server could not be resolved.",
    "12008 No protocol could be found for the address.",
    "12009 The option asked for is not known.",
    "12010 The length given for the option does not suit its kind.",
    "12011 The option can be read but not set.",
    "12012 The Internet functions are being shut down.",
    "12013 The user name was refused.",
    "12014 The password was refused.",
    "12015 The log-in was refused.",
    "12016 The operation asked for is not valid.",
    "12017 The operation was cancelled before it ended.",
    "12018 The handle given is of the wrong kind for this operation.",
    "12019 The handle given is not in the state this operation needs.",
    "12020 The request cannot be made through a proxy.",
    "12021 A needed value is missing from the settings.",
    "12022 A value in the settings is wrong.",
    "12023 Direct access to the Internet is not possible.",
    "12024 No context value was given for an asynchronous call.",
    "12025 No status callback was given for an asynchronous call.",
    "12026 An asynchronous request is still pending.",
    "12027 The format of the request is not valid.",
    "12028 The item asked for could not be found.",
    "12029 The connection with the server could not be made.",
    "12030 The connection with the server ended before the exchange was over.",
    "12031 The server reset the connection.",
    "12032 The request has to be made again.",
    "12033 The request to the proxy is not valid.",
    "12036 The request failed because the handle already exists.",
    "12037 The server's certificate has expired or is not yet valid.",
    "12038 The name in the server's certificate does not match the server.",
    "12039 A secure page redirected to one that is not secure.",
    "12040 A page that is not secure redirected to a secure one.",
    "12041 The page mixes secure and unsecured content.",
    "12042 Posted data would go to a server that is not secure.",
    "12043 Posted data would go over a connection that is not secure.",
    "12044 The server asks for a client certificate.",
    "12045 The certificate authority of the server is not known or not trusted.",
    "12052 A form would be sent from a secure page over a connection that is not secure.",
    "12055 The server's certificate has errors.",
    "12110 An FTP transfer is already running on this connection.",
    "12111 The FTP connection was dropped.",
    "12112 The FTP server does not offer passive mode.",
    "12130 The Gopher server's answer is not valid.",
    "12131 The Gopher item is not a file.",
    "12132 The Gopher server sent data in a wrong form.",
    "12133 The end of the Gopher data was reached.",
    "12134 The Gopher locator is not valid.",
    "12135 The type of the Gopher locator is wrong for this operation.",
    "12136 The Gopher server does not offer the Gopher+ protocol.",
    "12137 The Gopher attribute could not be found.",
    "12138 The kind of Gopher locator is not known.",
    "12150 The header asked for is not in the answer.",
    "12151 The server does not send the headers asked for.",
    "12152 The server's answer could not be understood.",
    "12153 The header given is not valid.",
    "12154 The query asked of the headers is not valid.",
    "12155 The header is there already and was not replaced.",
    "12156 The redirection failed: the scheme changed or too many redirections were asked for.",
    "12160 The answer is not a redirection.",
    "12161 A cookie from the server needs the user's confirmation.",
    "12162 A cookie from the server was declined.",
    "12163 The Internet connection has been lost.",
    "12164 The server cannot be reached.",
    "12165 The proxy server cannot be reached.",
    "12166 The automatic proxy configuration script has an error.",
    "12167 The automatic proxy configuration script could not be downloaded.",
    "12168 The redirection needs the user's confirmation.",
    "12169 The server's certificate is not valid.",
    "12170 The server's certificate has been revoked.",
    "12171 The request was refused by a security check.",
};

thread_local std::string t_lastServerResponse;
thread_local std::string t_lastTransferError;

std::atomic<int> g_connectMs{TWebTimeouts{}.ConnectMs};
std::atomic<int> g_silenceMs{TWebTimeouts{}.SilenceMs};
std::atomic<int> g_transferMs{TWebTimeouts{}.TransferMs};

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view TrimView(std::string_view s)
{
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

bool IsFTP(std::string_view url) { return StartsWithNoCase(url, "ftp://"); }

int32_t ErrorFromCurl(CURLcode code, bool proxy)
{
    switch (code) {
    case CURLE_OK:
        return 0;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return kInetErrorUnrecognizedScheme;
    case CURLE_URL_MALFORMAT:
        return kInetErrorInvalidURL;
    case CURLE_COULDNT_RESOLVE_PROXY:
        return kInetErrorProxyUnreachable;
    case CURLE_COULDNT_RESOLVE_HOST:
        return kInetErrorNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return proxy ? kInetErrorProxyUnreachable : kInetErrorCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return kInetErrorTimeout;
    case CURLE_LOGIN_DENIED:
        return kInetErrorLoginFailure;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_UPLOAD_FAILED:
    case CURLE_QUOTE_ERROR:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_WEIRD_PASS_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_COULDNT_USE_REST:
    case CURLE_FTP_PRET_FAILED:
        return kInetErrorExtended;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_BAD_CONTENT_ENCODING:
        return kInetErrorInvalidServerResponse;
    case CURLE_RECV_ERROR:
        return kInetErrorConnectionAborted;
    case CURLE_SEND_ERROR:
        return kInetErrorConnectionReset;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_PEER_FAILED_VERIFICATION:
        return kInetErrorSecurityChannel;
    case CURLE_ABORTED_BY_CALLBACK:
        return kInetErrorOperationCancelled;
    default:
        return kInetErrorInternal;
    }
}

// The state one transfer's callbacks share.
struct TTransferState {
    const TWebRequest* request = nullptr;
    TWebReply* reply = nullptr;
    bool ftp = false;
    std::size_t offset = 0;
    std::size_t chunk = 0;
    bool bodySentReported = false;
    bool headerRead = false;
    std::size_t contentLength = 1;
    std::size_t reported = 0;
    std::string ftpReply; // the FTP reply being read (its lines so far)
    bool headerTooLong = false;  // ended: the header block passed its bound
    bool endedAtStatus = false;  // ended on purpose: the status was all that was wanted
    bool endedAtBodyCap = false; // ended on purpose: the body kept reached its bound

    void BodySent()
    {
        if (!bodySentReported) {
            bodySentReported = true;
            if (request->OnBodySent)
                request->OnBodySent();
        }
    }
};

size_t ReadBody(char* buffer, size_t size, size_t count, void* user)
{
    auto& state = *static_cast<TTransferState*>(user);
    const std::string_view body = state.request->Body;
    const std::size_t n = std::min({size * count, state.request->ChunkSize, body.size() - state.offset});
    if (n == 0) {
        state.BodySent();
        return 0;
    }
    std::memcpy(buffer, body.data() + state.offset, n);
    state.offset += n;
    if (state.request->OnChunkSent)
        state.request->OnChunkSent(state.chunk, state.offset);
    ++state.chunk;
    if (state.offset == body.size())
        state.BodySent();
    return n;
}

size_t ReadHeader(char* buffer, size_t size, size_t count, void* user)
{
    auto& state = *static_cast<TTransferState*>(user);
    std::string_view line(buffer, size * count);
    const std::size_t length = line.size();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (state.ftp) {
        // A reply ends with a line of three digits and a blank.
        state.ftpReply.append(line).append("\r\n");
        if (line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
            std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2])) &&
            line[3] == ' ') {
            t_lastServerResponse = std::move(state.ftpReply);
            state.ftpReply.clear();
        }
        return length;
    }
    state.BodySent();
    // A new status line starts a new answer (an interim one, or the proxy's).
    if (StartsWithNoCase(line, "HTTP/"))
        state.reply->RawHeader.clear();
    if (state.reply->RawHeader.size() + line.size() + 2 > kMaxAnswerHeader) {
        state.headerTooLong = true;
        return 0;
    }
    state.reply->RawHeader.append(line).append("\r\n");
    // The end of a final answer's header: with the status all that is
    // wanted, the transfer ends here (an interim 1xx answer goes on).
    if (line.empty() && state.request->StatusOnly) {
        const THTTPHeaderBlock block = ParseHTTPHeader(state.reply->RawHeader);
        if (!block.StatusCode.starts_with('1')) {
            state.endedAtStatus = true;
            return 0;
        }
    }
    return length;
}

void ReportReceived(TTransferState& state, bool final)
{
    if (!state.request->OnReceived)
        return;
    const std::size_t received = state.reply->Body.size();
    while (state.reported + 4096 <= received) {
        state.reported += 4096;
        state.request->OnReceived(state.reported, state.contentLength);
    }
    if (final && state.reported < received) {
        state.reported = received;
        state.request->OnReceived(received, state.contentLength);
    }
}

size_t WriteBody(char* buffer, size_t size, size_t count, void* user)
{
    auto& state = *static_cast<TTransferState*>(user);
    if (!state.headerRead) {
        state.headerRead = true;
        const auto block = ParseHTTPHeader(state.reply->RawHeader);
        const std::string length = HeaderValue(block, "Content-Length");
        std::size_t value = 0;
        for (char c : length) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || value > (SIZE_MAX - 9) / 10) {
                value = 0;
                break;
            }
            value = value * 10 + std::size_t(c - '0');
        }
        state.contentLength = value == 0 ? 1 : value;
    }
    const std::size_t room = kMaxAnswerBody - state.reply->Body.size();
    if (size * count > room) {
        state.reply->Body.append(buffer, room);
        state.reply->BodyCut = state.endedAtBodyCap = true;
        ReportReceived(state, false);
        return 0;
    }
    state.reply->Body.append(buffer, size * count);
    ReportReceived(state, false);
    return size * count;
}

struct TSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct TUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// The host of a URL ("" when it cannot be read).
std::string URLHost(const std::string& url)
{
    std::unique_ptr<CURLU, TUrlDeleter> handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return {};
    char* host = nullptr;
    if (curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK || !host)
        return {};
    std::string result = host;
    curl_free(host);
    return result;
}

} // namespace

std::string_view WebErrorTableText(int32_t code)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%05d ", int(code));
    for (std::string_view text : kErrorTexts)
        if (text.starts_with(digits))
            return text;
    return {};
}

std::string LastServerResponseText() { return t_lastServerResponse; }
void SetLastServerResponseText(std::string text) { t_lastServerResponse = std::move(text); }
std::string LastTransferErrorText() { return t_lastTransferError; }

TWebTimeouts WebTimeouts() { return {g_connectMs.load(), g_silenceMs.load(), g_transferMs.load()}; }

void SetWebTimeouts(const TWebTimeouts& timeouts)
{
    g_connectMs = std::max(1, timeouts.ConnectMs);
    g_silenceMs = std::max(1, timeouts.SilenceMs);
    g_transferMs = std::max(1, timeouts.TransferMs);
}

THTTPHeaderBlock ParseHTTPHeader(std::string_view raw)
{
    THTTPHeaderBlock block;
    bool first = true;
    while (!raw.empty()) {
        const std::size_t end = raw.find('\n');
        std::string_view line = raw.substr(0, end);
        raw = end == std::string_view::npos ? std::string_view() : raw.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first) {
            first = false;
            if (StartsWithNoCase(line, "HTTP/")) {
                block.HasStatusLine = true;
                const std::size_t blank = line.find(' ');
                block.Version = std::string(line.substr(0, blank));
                std::string_view rest = blank == std::string_view::npos ? std::string_view() : TrimView(line.substr(blank));
                const std::size_t codeEnd = rest.find(' ');
                block.StatusCode = std::string(rest.substr(0, codeEnd));
                block.StatusText = codeEnd == std::string_view::npos ? std::string() : std::string(TrimView(rest.substr(codeEnd)));
                continue;
            }
        }
        if (TrimView(line).empty())
            break;
        if ((line.front() == ' ' || line.front() == '\t')) {
            if (!block.Lines.empty())
                block.Lines.back().second.append(" ").append(TrimView(line));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        block.Lines.emplace_back(std::string(TrimView(line.substr(0, colon))), std::string(TrimView(line.substr(colon + 1))));
    }
    return block;
}

std::string HeaderValue(const THTTPHeaderBlock& block, std::string_view name)
{
    for (const auto& [key, value] : block.Lines)
        if (EqualNoCase(key, name))
            return value;
    return {};
}

bool HasHeader(const THTTPHeaderBlock& block, std::string_view name)
{
    return std::any_of(block.Lines.begin(), block.Lines.end(), [&](const auto& line) { return EqualNoCase(line.first, name); });
}

bool StatusCodeNumber(const THTTPHeaderBlock& block, int32_t& code)
{
    const std::string& text = block.StatusCode;
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return false;
    code = std::stoi(text);
    return true;
}

bool WebLibraryReady()
{
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

TWebHandle::TWebHandle()
{
    if (WebLibraryReady())
        fHandle = curl_easy_init();
}

TWebHandle::~TWebHandle()
{
    if (fHandle)
        curl_easy_cleanup(static_cast<CURL*>(fHandle));
}

bool RunWebRequest(TWebHandle& handle, const TWebRequest& request, TWebReply& reply)
{
    reply = {};
    t_lastTransferError.clear();
    CURL* curl = static_cast<CURL*>(handle.Native());
    if (!curl) {
        reply.Error = kInetErrorInternal;
        return false;
    }
    TTransferState state;
    state.request = &request;
    state.reply = &reply;
    state.ftp = IsFTP(request.URL);
    if (state.ftp)
        t_lastServerResponse.clear();

    std::unique_ptr<curl_slist, TSlistDeleter> headers;
    auto addHeader = [&](const std::string& line) {
        if (curl_slist* list = curl_slist_append(headers.get(), line.c_str())) {
            headers.release();
            headers.reset(list);
        }
    };
    for (const std::string& line : request.Headers)
        addHeader(line);
    addHeader("Expect:");

    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, request.URL.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Crashbox");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    const TWebTimeouts timeouts = WebTimeouts();
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(timeouts.ConnectMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(timeouts.ConnectMs) + long(timeouts.TransferMs));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(std::max(1, (timeouts.SilenceMs + 999) / 1000)));
    if (state.ftp)
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(std::max(1, (timeouts.SilenceMs + 999) / 1000)));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, ReadHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadBody);
    curl_easy_setopt(curl, CURLOPT_READDATA, &state);
    if (request.KeepCookies)
        curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");

    // Local names (no ".") go around the proxy; without one, the
    // environment's proxy settings are not taken either.
    const bool useProxy = !request.Proxy.Host.empty() && URLHost(request.URL).find('.') != std::string::npos;
    std::string proxy;
    if (useProxy)
        proxy = "http://" + request.Proxy.Host + ":" + std::to_string(request.Proxy.Port);
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, useProxy ? request.Proxy.UserName.c_str() : "");
    curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, useProxy ? request.Proxy.Password.c_str() : "");
    curl_easy_setopt(curl, CURLOPT_HTTPPROXYTUNNEL, useProxy && state.ftp ? 1L : 0L);

    if (state.ftp) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, request.UserName.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, request.Password.c_str());
        // The path goes whole with STOR, no change of folder, as a plain FTP client does it.
        curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
        curl_easy_setopt(curl, CURLOPT_FTP_USE_EPSV, 0L);
        curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
        // "NOOP" only logs in (and leaves the connection for the uploads).
        const bool store = request.Verb != "NOOP";
        curl_easy_setopt(curl, CURLOPT_NOBODY, store ? 0L : 1L);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, store ? 1L : 0L);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(request.Body.size()));
    } else if (request.Verb == "POST") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.Body.size()));
    } else {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }

    CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    // Ended on purpose: what was wanted of the answer is in.
    if (code == CURLE_WRITE_ERROR && (state.endedAtStatus || state.endedAtBodyCap))
        code = CURLE_OK;
    if (state.headerTooLong) {
        t_lastTransferError = "The answer's header is longer than " + std::to_string(kMaxAnswerHeader) + " bytes.";
        reply.Error = kInetErrorInvalidServerResponse;
        return false;
    }
    // An answer whose header block never ended (the connection closed
    // inside it) is no answer, whatever libcurl made of it.
    if (code == CURLE_OK && !state.ftp && !reply.RawHeader.ends_with("\r\n\r\n")) {
        t_lastTransferError = "The answer ended inside its header.";
        reply.Error = kInetErrorInvalidServerResponse;
        return false;
    }
    if (code == CURLE_OK) {
        state.BodySent();
        ReportReceived(state, true);
        return true;
    }
    t_lastTransferError = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
    reply.Error = ErrorFromCurl(code, useProxy);
    // An http or https address is one libcurl serves: "unsupported" then
    // means the server's status line was no number.
    if (code == CURLE_UNSUPPORTED_PROTOCOL && !state.ftp && StartsWithNoCase(request.URL, "http")) {
        reply.BadStatusLine = true;
        reply.Error = kInetErrorInvalidServerResponse;
    }
    return false;
}

} // namespace cv
