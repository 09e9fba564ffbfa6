#pragma once
// The report sender's HTTP and HTTPS client. One connection object stands
// for one server: it is made from a URL (and an optional proxy), and then
// runs any number of requests against pages below the URL's folder: a GET
// with the fields as query parameters, a URL-encoded form POST, or a
// multipart POST with files. Redirects are followed here (302 and a Refresh
// header make a new GET; 301 and 303 end the request, naming the new page),
// cookies live as long as the connection, and the last answer is kept for
// the form scanner (html_forms.h). THTTPConnection shows the connection's
// progress in the send-progress dialog.
//
// Texts are 8-bit strings sent as they are held. Requests run through
// libcurl (web_transfer.h); its failures come back as the 12xxx codes with
// GetWinINetErrorText's descriptions.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/core/support/crashbox_texts.h"
#include "crashreport/send/context/send_context.h"
#include "crashreport/send/web/web_transfer.h"

namespace cv {

enum TRequestMethod : uint8_t { rmGET, rmPOST, rmBinaryPOST };

enum TSendState : uint8_t {
    ssConnecting,
    ssConnected,
    ssLogin,
    ssSelectProject,
    ssSearching,
    ssModifying,
    ssSending,
    ssSent,
    ssDisconnecting,
    ssDisconnected
};

struct TProxyRecord {
    std::string Server;
    uint16_t Port = 0;
    std::string UserName;
    std::string Password;
};

// A string list of name=value lines: the name is the text before the first "=".
using TNameValueList = std::vector<std::string>;
std::string ListItemName(std::string_view line);
std::string ListItemValue(std::string_view line);
// The value of the first line named name (exact case); empty when none.
std::string ListValueOf(const TNameValueList& list, std::string_view name);

class THTTPResponse {
public:
    virtual ~THTTPResponse() = default;
    int32_t StatusCode = 0;
    std::string StatusText;
    std::string Header;
    std::string HTML;
    std::string ReplayPage; // the page that gave the answer, after redirects
    int32_t ErrorCode = 0;  // the error of a failed exchange, 0 otherwise
    std::string ErrorMessage;

    // Copies all seven fields; a null source is a programming error
    // (std::logic_error "Cannot assign a THTTPResponse class to a NIL value.").
    virtual void Assign(const THTTPResponse* source);
    virtual void Clear();
};

class THTTPConnectionBase;
// Owns a connection: closes it (reporting the close) and then frees it.
class THTTPConnectionPtr {
public:
    THTTPConnectionPtr() = default;
    explicit THTTPConnectionPtr(std::unique_ptr<THTTPConnectionBase> connection);
    ~THTTPConnectionPtr();
    THTTPConnectionPtr(THTTPConnectionPtr&&) noexcept = default;
    THTTPConnectionPtr& operator=(THTTPConnectionPtr&& other) noexcept;
    THTTPConnectionBase* operator->() const { return fConnection.get(); }
    THTTPConnectionBase& operator*() const { return *fConnection; }
    THTTPConnectionBase* get() const { return fConnection.get(); }
    explicit operator bool() const { return fConnection != nullptr; }
    void reset();

private:
    std::unique_ptr<THTTPConnectionBase> fConnection;
};
// The kind of connection a bug-tracker uploader makes: it creates and opens one.
using THTTPConnectionClass = std::function<THTTPConnectionPtr(const std::string& URL, const std::string& Proxy)>;

class THTTPConnectionBase {
public:
    // Reads the URL and the proxy (Create's steps but Open): make a
    // connection with CreateHTTPConnection, which opens it.
    THTTPConnectionBase(const std::string& URL, const std::string& Proxy);
    virtual ~THTTPConnectionBase();
    THTTPConnectionBase(const THTTPConnectionBase&) = delete;
    THTTPConnectionBase& operator=(const THTTPConnectionBase&) = delete;

    // --- Virtual operations, in their order ---
    // Makes the transfer handle. False when libcurl cannot be used; a
    // handle that cannot be made raises std::runtime_error
    // "Cannot create an HTTP connection with the host: <host>".
    virtual bool Open();
    // Ends the transfer handle; std::runtime_error "Cannot close the HTTP
    // connection with the host: <host>" when none was open.
    virtual bool Close();
    virtual void SetSendState(TSendState State, int32_t Value) = 0;

    // --- Requests ---
    void SetRequest(const std::string& Page, TRequestMethod Method);
    // True when the whole exchange succeeded, whatever the HTTP status; on
    // a failure Response holds the error code and its text.
    bool SendRequest(THTTPResponse& Response, bool ShowProgress);

    // --- Fields from the last answer's forms (html_forms.cpp) ---
    void AddField(const std::string& Name, const std::string& Value);
    void AddCustomFields(const TNameValueList& List);
    void AddFieldValue(const std::string& Name);
    void AddFieldByTextArea(const std::string& Name);
    void AddFieldByDefaultList(const std::string& Name);
    void AddFieldByDefaultList2(const std::string& Name);
    void AddFieldByListTitle(const std::string& Name, const std::string& Title);
    void AddVersionTitleField(const std::string& Name, const std::string& Version, const std::string& Text,
                              const std::string& Detail);
    void AddDetailField(const std::string& Name, const std::string& Detail, const std::string& Text);
    bool AddIncrementedField(const std::string& Name);
    bool IsSuccessfulSend(const std::string& Page, const std::string& MustContain, const std::string& MustNotContain) const;

    // The answer of the last successful request.
    const THTTPResponse& LastResponse() const { return *FResponse; }

    // --- Fields ---
    std::string BasePath; // the URL's folder, always ending in "/"
    std::string Host;
    uint16_t Port = 0;
    std::string Path; // the current request's page: BasePath + page, or a redirect's target
    bool UseHTTPS = false;
    std::string UserName;
    std::string Password;
    TRequestMethod RequestMethod = rmGET;
    TNameValueList Files;  // name=file path, for multipart requests
    TNameValueList Fields; // name=value
    bool UseProxy = false;
    TProxyRecord ProxySetting;

    // How many 302 answers and refreshes one request follows before it fails
    // with code 12156: a server that keeps redirecting cannot hold the sender.
    static constexpr int kMaxRedirects = 20;

protected:
    std::unique_ptr<THTTPResponse> FResponse;

private:
    friend class THTTPConnectionPtr;
    std::unique_ptr<TWebHandle> hInternet; // the transfer handle while open
};

// Makes a connection of the kind T and opens it (Open's exception passes on).
template <typename T, typename... Args>
THTTPConnectionPtr CreateHTTPConnection(const std::string& URL, const std::string& Proxy, Args&&... args)
{
    auto connection = std::make_unique<T>(URL, Proxy, std::forward<Args>(args)...);
    connection->Open();
    return THTTPConnectionPtr(std::move(connection));
}

// The connection the library uses: each state puts its text (the report's
// options' text) on the send-progress dialog's status line and moves the
// bar (send_context.h).
class THTTPConnection : public THTTPConnectionBase {
public:
    using THTTPConnectionBase::THTTPConnectionBase;
    void SetSendState(TSendState State, int32_t Value) override;
    // The connection class that makes THTTPConnection objects.
    static THTTPConnectionClass Class();
};

// The message type each state shows.
TMessageType SendStateMessage(TSendState state);

// --- Class-less helpers ---

// True when the transfer library can be used.
bool LoadWinINet();
// The library stays ready until the process ends (libcurl cannot be ended
// safely while other threads may use it): nothing to do.
void UnloadWinINet();

struct TConnectionURLParts {
    std::string Scheme;
    std::string UserName;
    uint16_t Port = 0;
    std::string Folder;
    std::string Host;
    std::string Password;
};
// Reads a URL as AddURLPortAndCredentials writes it: the port only at the
// very end, then the scheme, credentials, host and folder cut off in turn.
TConnectionURLParts ParseConnectionURL(const std::string& URL);
// Appends ":port" (when not 0) and puts "user:password@" after the "://"
// (or in front) when either is not empty.
void AddURLPortAndCredentials(std::string& URL, const std::string& UserName, const std::string& Password, uint16_t Port);

struct TRequestPathParts {
    std::string Folder; // up to and including the last "/", from the first "/" after a host
    std::string Page;
    std::string Query; // "?" and all after it
};
TRequestPathParts SplitRequestPath(const std::string& Path);

// Letters and digits pass; every other byte becomes "%" and two upper-case hexadecimal digits.
std::string URLEncode(std::string_view S);
// 27 "-" and three random numbers in 0..65534, four upper-case hexadecimal digits each.
std::string MakeMultipartBoundary();
// One part of a multipart body: a field, or a file with its name and bytes.
std::string MultipartFieldPart(const std::string& Boundary, const std::string& Name, const std::string& Value);
std::string MultipartFilePart(const std::string& Boundary, const std::string& Name, const std::string& FileName,
                              const std::string& Bytes);
// The multipart body: the fields, then the files that exist (with their
// bytes), then the files that do not (empty name, no content), then the end line.
std::string BuildMultipartBody(const TNameValueList& Files, const TNameValueList& Fields, const std::string& Boundary);
// Every character below 32 becomes a blank.
void ReplaceControlChars(std::string& S);
// The server's last reply (FTP) or, failing that, the table's text for the
// code, or what the transfer library said of it.
std::string GetWinINetErrorText(int32_t Code);
// The whole file, or false when it cannot be read.
bool ReadWholeFile(const std::string& fileName, std::string& bytes);

} // namespace cv
