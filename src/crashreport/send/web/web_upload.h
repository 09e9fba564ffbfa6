#pragma once
// Uploading the report's files without a connection object: one multipart
// POST to a plain web address (HTTP or HTTPS), or each file to an FTP
// folder. Both answer a number (0 for success) and report their progress
// through a callback; the proxy they go through is a process-wide setting
// the sending code sets beforehand.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crashreport/core/support/file_version.h" // GetFileSizeByName
#include "crashreport/send/web/http_connection.h"

namespace cv {

// Progress of an upload: stage 0 prepared (done 0), 1 connected (done 0),
// 2 sending (done = bytes written so far). May be empty.
using TUploadProgress = std::function<void(uint8_t Stage, uint32_t Total, uint32_t Done)>;

// The result of an upload whose transfer library cannot be used.
constexpr int32_t kUploadNoLibrary = -1;
// The result of an HTTP answer whose status is no number.
constexpr int32_t kUploadBadStatus = 2147483647;

// The proxy of both uploads, "Host:Port"; a text without a host means none.
void SetUploadProxy(const std::string& Host, uint16_t Port);
void SetUploadProxyAuth(const std::string& UserName, const std::string& Password);
std::string UploadProxy();

// Same form as MakeMultipartBoundary.
std::string MakeUploadBoundary();
// The fields (name=value), then for each file that exists the part
// "el_upload_file_" + its index, under its name in FileNames; a missing
// file is left out and its index not reused. Then the end line.
void BuildUploadBody(const std::vector<std::string>& Files, const std::vector<std::string>& FileNames,
                     const TNameValueList& Fields, std::string& Body, const std::string& Boundary);

// One multipart POST of the files and fields to Path on Host. 0 when the
// server answered 200; otherwise kUploadNoLibrary, the 12xxx code of a
// failed transfer (ResultText its description), the HTTP status (ResultText
// its status text) or kUploadBadStatus.
int32_t HTTPUploadFiles(const std::string& Host, const std::string& Path, const std::string& UserName,
                        std::string& ResultText, const TUploadProgress& Progress, const std::vector<std::string>& Files,
                        const std::vector<std::string>& FileNames, const TNameValueList& Fields, bool UseHTTPS,
                        uint16_t Port, const std::string& Password);

// Logs in (passive mode) and stores each file that exists as Folder + "/" +
// the name part of its FileNames entry. 0 on success; otherwise
// kUploadNoLibrary or the 12xxx code, with ErrorText the server's last
// reply or the code's description.
int32_t FTPUploadFiles(const std::string& Host, const std::string& Folder, const std::string& UserName,
                       std::string& ErrorText, const TUploadProgress& Progress, const std::vector<std::string>& Files,
                       const std::vector<std::string>& FileNames, uint16_t Port, const std::string& Password);

// The remote name of an upload: Folder, a "/" when it has none at its end, the file's name.
std::string FTPRemoteName(const std::string& Folder, const std::string& FileName);

} // namespace cv
