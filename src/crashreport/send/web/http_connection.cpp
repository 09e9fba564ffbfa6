#include "crashreport/send/web/http_connection.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/support/crashbox_codecs.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/text_routines.h"

namespace cv {

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsHostChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
}

// Cuts the text before the first separator off S into part; nothing changes
// when there is no separator, or, with hostCharsOnly, when a character
// before it could not stand in a host name.
void CutURLPart(std::string_view separator, std::string& s, std::string& part, bool hostCharsOnly)
{
    const std::size_t at = s.find(separator);
    if (at == std::string::npos)
        return;
    if (hostCharsOnly && !std::all_of(s.begin(), s.begin() + std::ptrdiff_t(at), IsHostChar))
        return;
    part = s.substr(0, at);
    s.erase(0, at + separator.size());
}

std::string Decimal(uint16_t value) { return std::to_string(unsigned(value)); }

// Where a Refresh header sends the reader: the text after "url=" (found in
// any letter case); a header without "url=" that is only a delay names no page.
std::string RefreshTarget(const std::string& header)
{
    const std::size_t at = Lower(header).find("url=");
    if (at != std::string::npos)
        return TrimA(header.substr(at + 4));
    const std::string whole = TrimA(header);
    if (std::all_of(whole.begin(), whole.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == ';'; }))
        return {};
    return whole;
}

int RoundPercent(double value) { return int(std::lround(value)); }

} // namespace

// --- Lists ---

std::string ListItemName(std::string_view line)
{
    const std::size_t at = line.find('=');
    return std::string(line.substr(0, at));
}

std::string ListItemValue(std::string_view line)
{
    const std::size_t at = line.find('=');
    return at == std::string_view::npos ? std::string() : std::string(line.substr(at + 1));
}

std::string ListValueOf(const TNameValueList& list, std::string_view name)
{
    for (const std::string& line : list)
        if (ListItemName(line) == name)
            return ListItemValue(line);
    return {};
}

// --- THTTPResponse ---

void THTTPResponse::Assign(const THTTPResponse* source)
{
    if (!source)
        throw std::logic_error("Cannot assign a THTTPResponse class to a NIL value.");
    StatusCode = source->StatusCode;
    StatusText = source->StatusText;
    Header = source->Header;
    HTML = source->HTML;
    ReplayPage = source->ReplayPage;
    ErrorCode = source->ErrorCode;
    ErrorMessage = source->ErrorMessage;
}

void THTTPResponse::Clear()
{
    StatusCode = 0;
    ErrorCode = 0;
    StatusText.clear();
    Header.clear();
    HTML.clear();
    ReplayPage.clear();
    ErrorMessage.clear();
}

// --- Class-less helpers ---

bool LoadWinINet() { return WebLibraryReady(); }

void UnloadWinINet() {}

TConnectionURLParts ParseConnectionURL(const std::string& URL)
{
    TConnectionURLParts parts;
    std::string s = TrimA(URL);
    if (!s.empty() && s.back() != '/')
        s += '/';
    // A port only at the very end: ":" and digits before the final "/".
    if (!s.empty()) {
        std::size_t start = s.size() - 1;
        while (start > 0 && std::isdigit(static_cast<unsigned char>(s[start - 1])))
            --start;
        if (start > 0 && s[start - 1] == ':') {
            const std::string digits = s.substr(start, s.size() - 1 - start);
            s = s.substr(0, start - 1) + "/";
            if (!digits.empty() && digits.size() <= 5 && std::stoul(digits) <= 65535)
                parts.Port = uint16_t(std::stoul(digits));
        }
    }
    CutURLPart("://", s, parts.Scheme, true);
    CutURLPart(":", s, parts.UserName, false);
    CutURLPart("@", s, parts.Password, false);
    CutURLPart("/", s, parts.Host, true);
    if (!s.empty())
        parts.Folder = s.substr(0, s.size() - 1);
    return parts;
}

void AddURLPortAndCredentials(std::string& URL, const std::string& UserName, const std::string& Password, uint16_t Port)
{
    if (Port != 0)
        URL += ":" + Decimal(Port);
    if (!UserName.empty() || !Password.empty()) {
        const std::string credentials = UserName + ":" + Password + "@";
        const std::size_t at = URL.find("://");
        if (at == std::string::npos)
            URL.insert(0, credentials);
        else
            URL.insert(at + 3, credentials);
    }
}

TRequestPathParts SplitRequestPath(const std::string& Path)
{
    TRequestPathParts parts;
    std::string rest = Path;
    const std::size_t question = rest.find('?');
    if (question != std::string::npos) {
        parts.Query = rest.substr(question);
        rest.erase(question);
    }
    const std::size_t scheme = rest.find("://");
    if (scheme != std::string::npos && rest.find('/', scheme + 3) == std::string::npos) {
        parts.Folder = "/"; // a bare host: its root
        return parts;
    }
    const std::size_t slash = rest.rfind('/');
    if (slash == std::string::npos) {
        parts.Page = rest;
        return parts;
    }
    parts.Page = rest.substr(slash + 1);
    parts.Folder = rest.substr(0, slash + 1);
    if (scheme != std::string::npos)
        parts.Folder = parts.Folder.substr(parts.Folder.find('/', scheme + 3));
    return parts;
}

std::string URLEncode(std::string_view S)
{
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    out.reserve(S.size() * 3);
    for (char c : S) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) && byte < 128) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

std::string MakeMultipartBoundary()
{
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> number(0, 65534);
    std::string boundary(27, '-');
    for (int i = 0; i < 3; ++i) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04X", number(random));
        boundary += digits;
    }
    return boundary;
}

bool ReadWholeFile(const std::string& fileName, std::string& bytes)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string MultipartFieldPart(const std::string& Boundary, const std::string& Name, const std::string& Value)
{
    return "--" + Boundary + "\r\nContent-Disposition: form-data; name=\"" + Name + "\";\r\n\r\n" + Value + "\r\n";
}

std::string MultipartFilePart(const std::string& Boundary, const std::string& Name, const std::string& FileName,
                              const std::string& Bytes)
{
    return "--" + Boundary + "\r\nContent-Disposition: form-data; name=\"" + Name + "\"; filename=\"" + FileName +
           "\";\r\nContent-Type: application/octet-stream\r\n\r\n" + Bytes + "\r\n";
}

std::string BuildMultipartBody(const TNameValueList& Files, const TNameValueList& Fields, const std::string& Boundary)
{
    std::string body;
    for (const std::string& field : Fields)
        body += MultipartFieldPart(Boundary, ListItemName(field), ListItemValue(field));
    std::vector<const std::string*> missing;
    for (const std::string& file : Files) {
        std::string bytes;
        const std::string path = ListItemValue(file);
        if (!DirectoryExistsA(path) && ReadWholeFile(path, bytes))
            body += MultipartFilePart(Boundary, ListItemName(file), ExtractFileName(path), bytes);
        else
            missing.push_back(&file);
    }
    for (const std::string* file : missing)
        body += MultipartFilePart(Boundary, ListItemName(*file), {}, {});
    body += "--" + Boundary + "--\r\n";
    return body;
}

void ReplaceControlChars(std::string& S)
{
    for (char& c : S)
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
}

std::string GetWinINetErrorText(int32_t Code)
{
    std::string text = LastServerResponseText();
    if (!text.empty())
        return text;
    const std::string_view table = WebErrorTableText(Code);
    if (!table.empty())
        return std::string(table);
    text = LastTransferErrorText();
    return text.empty() ? "Error " + std::to_string(Code) + "." : text;
}

// --- THTTPConnectionPtr ---

THTTPConnectionPtr::THTTPConnectionPtr(std::unique_ptr<THTTPConnectionBase> connection)
    : fConnection(std::move(connection))
{
}

THTTPConnectionPtr::~THTTPConnectionPtr() { reset(); }

THTTPConnectionPtr& THTTPConnectionPtr::operator=(THTTPConnectionPtr&& other) noexcept
{
    if (this != &other) {
        reset();
        fConnection = std::move(other.fConnection);
    }
    return *this;
}

void THTTPConnectionPtr::reset()
{
    if (!fConnection)
        return;
    // A connection that never opened cannot be closed: freeing it is all.
    try {
        fConnection->Close();
    } catch (...) {
    }
    fConnection.reset();
}

// --- THTTPConnectionBase ---

THTTPConnectionBase::THTTPConnectionBase(const std::string& URL, const std::string& Proxy)
    : FResponse(std::make_unique<THTTPResponse>())
{
    const TConnectionURLParts parts = ParseConnectionURL(URL);
    UserName = parts.UserName;
    Password = parts.Password;
    Host = parts.Host;
    Port = parts.Port;
    BasePath = parts.Folder;
    const std::size_t question = BasePath.find('?');
    if (question != std::string::npos)
        BasePath.erase(question);
    if (BasePath.empty() || BasePath.back() != '/')
        BasePath += '/';
    UseHTTPS = Lower(parts.Scheme) == "https";
    if (Port == 0)
        Port = UseHTTPS ? 443 : 80;
    if (!Proxy.empty() && Proxy.front() != ':') {
        const TConnectionURLParts proxy = ParseConnectionURL(Proxy);
        ProxySetting.UserName = proxy.UserName;
        ProxySetting.Port = proxy.Port == 0 ? 8080 : proxy.Port;
        ProxySetting.Server = proxy.Host;
        ProxySetting.Password = proxy.Password;
        UseProxy = true;
    }
}

THTTPConnectionBase::~THTTPConnectionBase() = default;

bool THTTPConnectionBase::Open()
{
    SetSendState(ssConnecting, 0);
    if (!LoadWinINet())
        return false;
    auto handle = std::make_unique<TWebHandle>();
    if (!handle->Valid() || Host.empty())
        throw std::runtime_error("Cannot create an HTTP connection with the host: " + Host);
    hInternet = std::move(handle);
    SetSendState(ssConnected, 0);
    return true;
}

bool THTTPConnectionBase::Close()
{
    SetSendState(ssDisconnecting, 0);
    if (LoadWinINet() && hInternet) {
        hInternet.reset();
        SetSendState(ssDisconnected, 0);
        return true;
    }
    throw std::runtime_error("Cannot close the HTTP connection with the host: " + Host);
}

void THTTPConnectionBase::SetRequest(const std::string& Page, TRequestMethod Method)
{
    Path = BasePath + Page;
    RequestMethod = Method;
    Fields.clear();
    Files.clear();
}

bool THTTPConnectionBase::SendRequest(THTTPResponse& Response, bool ShowProgress)
{
    if (!LoadWinINet() || !hInternet)
        return false;
    Response.Clear();
    SetLastServerResponseText({});
    TRequestPathParts parts = SplitRequestPath(Path);
    Response.ReplayPage = parts.Page;
    std::string folder = parts.Folder;
    std::string query = parts.Query;
    const std::string origin = (UseHTTPS ? "https://" : "http://") + Host + ":" + Decimal(Port);

    for (int redirects = 0;; ++redirects) {
        TWebRequest request;
        std::string body;
        std::string target = query;
        if (RequestMethod == rmGET) {
            request.Verb = "GET";
            for (const std::string& field : Fields)
                target += (target.empty() ? "?" : "&") + URLEncode(ListItemName(field)) + "=" + URLEncode(ListItemValue(field));
        } else if (RequestMethod == rmPOST) {
            request.Verb = "POST";
            request.Headers.push_back("Content-Type: application/x-www-form-urlencoded");
            for (const std::string& field : Fields)
                body += (body.empty() ? "" : "&") + ListItemName(field) + "=" + URLEncode(ListItemValue(field));
        } else {
            request.Verb = "POST";
            const std::string boundary = MakeMultipartBoundary();
            request.Headers.push_back("Content-Type: multipart/form-data; boundary=" + boundary);
            body = BuildMultipartBody(Files, Fields, boundary);
        }
        const std::string objectName = folder + parts.Page + target;
        request.URL = origin + (objectName.starts_with("/") ? "" : "/") + objectName;
        if (!UserName.empty() || !Password.empty())
            request.Headers.push_back("Authorization: Basic " + Base64EncodeStr(UserName + ":" + Password));
        if (UseProxy)
            request.Proxy = {ProxySetting.Server, ProxySetting.Port, ProxySetting.UserName, ProxySetting.Password};
        request.Body = body;
        request.ChunkSize = 4096;
        request.KeepCookies = true;
        if (ShowProgress) {
            const double length = double(std::max<std::size_t>(body.size(), 1));
            request.OnChunkSent = [&](std::size_t chunk, std::size_t) {
                SetSendState(ssSending, std::min(50, RoundPercent(double(chunk + 1) * 4096 / length * 100)));
            };
            request.OnBodySent = [&] { SetSendState(ssSending, 50); };
            request.OnReceived = [&](std::size_t received, std::size_t contentLength) {
                SetSendState(ssSending, RoundPercent(double(received) / double(contentLength) * 50 + 50));
            };
        }

        TWebReply reply;
        if (!RunWebRequest(*hInternet, request, reply)) {
            Response.ErrorCode = reply.Error;
            Response.ErrorMessage = GetWinINetErrorText(reply.Error);
            return false;
        }
        const THTTPHeaderBlock header = ParseHTTPHeader(reply.RawHeader);
        int32_t status = 0;
        StatusCodeNumber(header, status);
        Response.StatusCode = status;
        Response.StatusText = header.StatusText;
        Response.Header = reply.RawHeader;
        Response.HTML = std::move(reply.Body);

        // Redirects: the new page is asked for with a GET without fields.
        auto followTo = [&](const std::string& location) {
            Path = location;
            parts = SplitRequestPath(Path);
            Response.ReplayPage = parts.Page;
            query = parts.Query;
            if (!parts.Folder.empty())
                folder = parts.Folder;
            RequestMethod = rmGET;
            Fields.clear();
            Files.clear();
        };
        bool again = false;
        if (status == 301 || status == 302 || status == 303) {
            const std::string location = HeaderValue(header, "Location");
            if (!location.empty()) {
                followTo(location);
                again = status == 302;
            }
        } else if (status == 200 && HasHeader(header, "Refresh")) {
            const std::string location = RefreshTarget(HeaderValue(header, "Refresh"));
            if (!location.empty()) {
                followTo(location);
                Response.StatusCode = 302;
                again = true;
            }
        }
        if (!again)
            break;
        if (redirects + 1 > kMaxRedirects) {
            Response.ErrorCode = kInetErrorRedirectFailed;
            Response.ErrorMessage = GetWinINetErrorText(kInetErrorRedirectFailed);
            return false;
        }
    }
    if (ShowProgress)
        SetSendState(ssSent, 0);
    ReplaceControlChars(Response.HTML);
    FResponse->Assign(&Response);
    return true;
}

// --- THTTPConnection ---

TMessageType SendStateMessage(TSendState state)
{
    static constexpr TMessageType kTexts[] = {
        mtSendDialog_Connecting, mtSendDialog_Connected,     mtSendDialog_Login,
        mtSendDialog_SelectProject, mtSendDialog_Searching,  mtSendDialog_Modifying,
        mtSendDialog_Sending,    mtSendDialog_Sent,          mtSendDialog_Disconnecting,
        mtSendDialog_Disconnected,
    };
    return kTexts[std::min<std::size_t>(state, std::size(kTexts) - 1)];
}

void THTTPConnection::SetSendState(TSendState State, int32_t Value)
{
    SetSendDialogStatus(ReportOptions().GetExpandedText(SendStateMessage(State)));
    switch (State) {
    case ssConnecting:
        ResetSendDialogProgress();
        SetSendDialogProgress(5);
        break;
    case ssConnected:
    case ssLogin:
    case ssSelectProject:
    case ssSearching:
    case ssModifying:
        AdvanceSendDialogProgress(5);
        break;
    case ssSending:
        SetSendDialogProgress(RoundPercent(std::clamp(Value, 0, 100) / 100.0 * 65 + 35));
        break;
    case ssSent:
    case ssDisconnecting:
    case ssDisconnected:
        SetSendDialogProgress(100);
        break;
    }
}

THTTPConnectionClass THTTPConnection::Class()
{
    return [](const std::string& URL, const std::string& Proxy) { return CreateHTTPConnection<THTTPConnection>(URL, Proxy); };
}

} // namespace cv
