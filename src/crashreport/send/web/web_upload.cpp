#include "crashreport/send/web/web_upload.h"

#include <sys/stat.h>

#include <algorithm>
#include <mutex>

#include "crashreport/core/support/crashbox_codecs.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/send/web/web_transfer.h"

namespace cv {

namespace {

struct TUploadProxyState {
    std::mutex lock;
    std::string proxy;
    std::string userName;
    std::string password;
};

TUploadProxyState& ProxyState()
{
    static TUploadProxyState state;
    return state;
}

// The upload proxy as the transfer takes it (no host: none).
TWebProxy CurrentProxy()
{
    auto& state = ProxyState();
    std::lock_guard guard(state.lock);
    TWebProxy proxy;
    const std::size_t colon = state.proxy.rfind(':');
    proxy.Host = TrimA(state.proxy.substr(0, colon));
    if (colon != std::string::npos) {
        const std::string digits = state.proxy.substr(colon + 1);
        if (!digits.empty() && digits.size() <= 5 && std::all_of(digits.begin(), digits.end(), ::isdigit))
            proxy.Port = uint16_t(std::min(65535ul, std::stoul(digits)));
    }
    proxy.UserName = state.userName;
    proxy.Password = state.password;
    return proxy;
}

// Port 0 stands for the scheme's own.
std::string Origin(const char* scheme, const std::string& host, uint16_t port, uint16_t defaultPort)
{
    return std::string(scheme) + "://" + host + ":" + std::to_string(unsigned(port == 0 ? defaultPort : port));
}

// A path for a URL: every segment percent-encoded, the "/" between them kept.
std::string EncodePath(const std::string& path)
{
    std::string out;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        out += URLEncode(std::string_view(path).substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos)
            return out;
        out += '/';
        start = slash + 1;
    }
}

bool FileExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void Report(const TUploadProgress& progress, uint8_t stage, std::size_t total, std::size_t done)
{
    if (progress)
        progress(stage, uint32_t(total), uint32_t(done));
}

} // namespace

void SetUploadProxy(const std::string& Host, uint16_t Port)
{
    auto& state = ProxyState();
    std::lock_guard guard(state.lock);
    state.proxy = Host + ":" + std::to_string(unsigned(Port));
}

void SetUploadProxyAuth(const std::string& UserName, const std::string& Password)
{
    auto& state = ProxyState();
    std::lock_guard guard(state.lock);
    state.userName = UserName;
    state.password = Password;
}

std::string UploadProxy()
{
    auto& state = ProxyState();
    std::lock_guard guard(state.lock);
    return state.proxy;
}

std::string MakeUploadBoundary() { return MakeMultipartBoundary(); }

void BuildUploadBody(const std::vector<std::string>& Files, const std::vector<std::string>& FileNames,
                     const TNameValueList& Fields, std::string& Body, const std::string& Boundary)
{
    Body.clear();
    for (const std::string& field : Fields)
        Body += MultipartFieldPart(Boundary, ListItemName(field), ListItemValue(field));
    for (std::size_t n = 0; n < Files.size(); ++n) {
        std::string bytes;
        if (!FileExists(Files[n]) || !ReadWholeFile(Files[n], bytes))
            continue;
        const std::string shown = n < FileNames.size() ? FileNames[n] : ExtractFileName(Files[n]);
        Body += MultipartFilePart(Boundary, "el_upload_file_" + std::to_string(n), shown, bytes);
    }
    Body += "--" + Boundary + "--\r\n";
}

std::string FTPRemoteName(const std::string& Folder, const std::string& FileName)
{
    std::string remote = Folder;
    if (!remote.empty() && remote.back() != '/')
        remote += '/';
    return remote + ExtractFileName(FileName);
}

int32_t HTTPUploadFiles(const std::string& Host, const std::string& Path, const std::string& UserName,
                        std::string& ResultText, const TUploadProgress& Progress, const std::vector<std::string>& Files,
                        const std::vector<std::string>& FileNames, const TNameValueList& Fields, bool UseHTTPS,
                        uint16_t Port, const std::string& Password)
{
    ResultText.clear();
    if (!LoadWinINet())
        return kUploadNoLibrary;
    const std::string boundary = MakeUploadBoundary();
    std::string body;
    BuildUploadBody(Files, FileNames, Fields, body, boundary);
    Report(Progress, 0, body.size(), 0);
    TWebHandle handle;
    if (!handle.Valid()) {
        ResultText = GetWinINetErrorText(kInetErrorInternal);
        return kInetErrorInternal;
    }
    Report(Progress, 1, body.size(), 0);

    TWebRequest request;
    request.URL = Origin(UseHTTPS ? "https" : "http", Host, Port, UseHTTPS ? 443 : 80) + (Path.starts_with("/") ? "" : "/") + Path;
    request.Verb = "POST";
    request.Headers.push_back("Content-Type: multipart/form-data; boundary=" + boundary);
    if (!UserName.empty() || !Password.empty())
        request.Headers.push_back("Authorization: Basic " + Base64EncodeStr(UserName + ":" + Password));
    request.Proxy = CurrentProxy();
    request.Body = body;
    request.ChunkSize = 1024;
    // Only the status tells how an upload went: the answer's body is not read.
    request.StatusOnly = true;
    request.OnChunkSent = [&](std::size_t, std::size_t sent) { Report(Progress, 2, body.size(), sent); };
    SetLastServerResponseText({});
    TWebReply reply;
    if (!RunWebRequest(handle, request, reply)) {
        ResultText = GetWinINetErrorText(reply.Error);
        return reply.BadStatusLine ? kUploadBadStatus : reply.Error;
    }
    const THTTPHeaderBlock header = ParseHTTPHeader(reply.RawHeader);
    int32_t status = 0;
    const int32_t result = !StatusCodeNumber(header, status) ? kUploadBadStatus : status == 200 ? 0 : status;
    if (result != 0)
        ResultText = header.StatusText;
    return result;
}

int32_t FTPUploadFiles(const std::string& Host, const std::string& Folder, const std::string& UserName,
                       std::string& ErrorText, const TUploadProgress& Progress, const std::vector<std::string>& Files,
                       const std::vector<std::string>& FileNames, uint16_t Port, const std::string& Password)
{
    ErrorText.clear();
    if (!LoadWinINet())
        return kUploadNoLibrary;
    std::size_t total = 0;
    for (const std::string& file : Files)
        if (FileExists(file))
            total += GetFileSizeByName(file);
    Report(Progress, 0, total, 0);

    auto fail = [&](int32_t code) {
        ErrorText = GetWinINetErrorText(code);
        return code;
    };
    TWebHandle handle;
    if (!handle.Valid())
        return fail(kInetErrorInternal);
    const std::string origin = Origin("ftp", Host, Port, 21);
    TWebRequest request;
    request.Proxy = CurrentProxy();
    request.UserName = UserName;
    request.Password = Password;
    TWebReply reply;
    // Logging in first, as connecting to an FTP server does: a refused
    // login fails the upload even when no file is left to send.
    request.URL = origin + "/";
    request.Verb = "NOOP";
    if (!RunWebRequest(handle, request, reply))
        return fail(reply.Error);
    Report(Progress, 1, total, 0);

    for (std::size_t n = 0; n < Files.size(); ++n) {
        std::string bytes;
        if (!FileExists(Files[n]) || !ReadWholeFile(Files[n], bytes))
            continue;
        const std::string remote = FTPRemoteName(Folder, n < FileNames.size() ? FileNames[n] : Files[n]);
        request.URL = origin + "/" + EncodePath(remote);
        request.Verb = "STOR";
        request.Body = bytes;
        request.ChunkSize = 1024;
        // Each file counts its own chunks, the last one as a whole 1024.
        request.OnChunkSent = [&](std::size_t chunk, std::size_t) { Report(Progress, 2, total, (chunk + 1) * 1024); };
        if (!RunWebRequest(handle, request, reply))
            return fail(reply.Error);
    }
    return 0;
}

} // namespace cv
