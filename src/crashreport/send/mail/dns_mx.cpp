#include "crashreport/send/mail/dns_mx.h"

#include <arpa/inet.h>

#include <algorithm>

#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/send/mail/client_socket.h"
#include "crashreport/send/mail/mail_settings.h"

namespace cv {

namespace {

// The query's identifier ("AA"), flags (standard query, recursion desired)
// and counts (one question).
constexpr char kQueryHeader[12] = {0x41, 0x41, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
// End of the question name, type MX (15), class IN (1).
constexpr char kQueryTail[5] = {0x00, 0x00, 0x0F, 0x00, 0x01};
constexpr std::size_t kAnswerCountOffset = 6;
constexpr std::size_t kQuestionOffset = 12;

uint8_t ByteAt(std::string_view message, std::size_t position) { return uint8_t(message[position]); }

} // namespace

bool IsUsableDNSAddress(const std::string& address) { return TrimA(address) != "0.0.0.0"; }

void AddDNSServer(const std::string& address, std::vector<std::string>& list)
{
    if (IsUsableDNSAddress(address))
        list.push_back(address);
}

std::vector<std::string> GetDNSServers()
{
    const TMailSettings settings = MailSettings();
    std::vector<std::string> list;
    std::vector<std::string> lines;
    if (LoadStringsFromFile(settings.ResolvConfPath, lines)) {
        for (const std::string& line : lines) {
            std::vector<std::string> words;
            SplitStringToList(line, words, MakeCharSet(" \t"), false, false);
            // Our queries go over IPv4: other name servers are left out.
            in_addr parsed{};
            if (words.size() >= 2 && words[0] == "nameserver" && inet_pton(AF_INET, words[1].c_str(), &parsed) == 1)
                AddDNSServer(words[1], list);
        }
    }
    AddDNSServer(settings.FallbackDNSServer, list);
    return list;
}

std::string EncodeDNSName(std::string_view name)
{
    std::string encoded;
    while (!name.empty()) {
        const std::size_t dot = std::min(name.find('.'), name.size());
        encoded += char(uint8_t(dot));
        encoded += name.substr(0, dot);
        name.remove_prefix(std::min(dot + 1, name.size()));
    }
    return encoded;
}

std::string BuildMXQuery(std::string_view domain)
{
    std::string query(kQueryHeader, sizeof kQueryHeader);
    query += EncodeDNSName(domain);
    query.append(kQueryTail, sizeof kQueryTail);
    return query;
}

void DecodeDNSName(std::string_view message, std::size_t& position, std::string& name)
{
    name.clear();
    const std::size_t length = message.size();
    bool followed = false;
    std::size_t resume = 0;
    // A name that does not loop reads each byte of the message at most
    // once; reading more than the message holds means the pointers loop.
    std::size_t visited = 0;
    auto fail = [&name] { name.clear(); };
    for (;;) {
        if (position >= length)
            return fail();
        uint8_t b = ByteAt(message, position);
        while ((b & 0xC0) == 0xC0) {
            if (position + 1 >= length || (visited += 2) > length)
                return fail();
            if (!followed) {
                resume = position + 2;
                followed = true;
            }
            position = std::size_t(b & 0x3F) * 256 + ByteAt(message, position + 1);
            if (position >= length)
                return fail();
            b = ByteAt(message, position);
        }
        if (position + 1 >= length || position + 1 + b > length || (visited += b + 1) > length)
            return fail();
        name.append(message.substr(position + 1, b));
        name += '.';
        position += std::size_t(b) + 1;
        // The message's end counts as the name's end.
        if (position >= length || ByteAt(message, position) == 0 || position + 1 >= length)
            break;
    }
    if (name.ends_with('.'))
        name.pop_back();
    position = followed ? resume : position + 1;
}

uint16_t ReadMXRecord(std::string_view message, std::size_t position, std::string& name)
{
    std::size_t at = position + 2;
    DecodeDNSName(message, at, name);
    if (name.empty()) {
        at = position;
        DecodeDNSName(message, at, name);
    }
    if (name.empty() || position + 1 >= message.size())
        return 0;
    return MakeNetWord(ByteAt(message, position), ByteAt(message, position + 1));
}

void ParseMXAnswer(std::string_view message, std::string& host)
{
    host.clear();
    // Without an answer record the record read below would be an
    // authority record, whose data is no mail exchanger.
    if (message.size() < kQuestionOffset ||
        MakeNetWord(ByteAt(message, kAnswerCountOffset), ByteAt(message, kAnswerCountOffset + 1)) == 0)
        return;
    std::size_t position = kQuestionOffset;
    std::string question;
    DecodeDNSName(message, position, question);
    // After the question's type and class, the answer's owner name (taken
    // as a two-byte pointer), then its type field.
    const std::size_t type = position + 6;
    if (type + 9 >= message.size())
        return;
    const std::size_t dataLength = MakeNetWord(ByteAt(message, type + 8), ByteAt(message, type + 9));
    const std::string_view record = message.substr(0, std::min(message.size(), type + 10 + dataLength));
    std::string name;
    ReadMXRecord(record, type + 10, name);
    host = name;
}

void ResolveMXHost(const std::string& address, uint32_t timeout, std::string& host)
{
    host.clear();
    const uint32_t base = uint32_t((uint64_t(timeout) + 150) / 3);
    const std::size_t at = address.find('@');
    const std::string domain = at == std::string::npos ? address : address.substr(at + 1);
    const uint16_t port = MailSettings().DNSPort;
    const std::string query = BuildMXQuery(domain);
    for (const std::string& server : GetDNSServers()) {
        for (uint32_t attempt = 0; attempt < 3 && host.empty(); ++attempt) {
            TCrashboxClientSocket socket(server, port, false, attempt * 100 + base);
            socket.Open();
            if (socket.SendText(query) == int32_t(query.size())) {
                std::string reply;
                socket.GetFullText(reply);
                if (!reply.empty())
                    ParseMXAnswer(reply, host);
            }
        }
        if (!host.empty())
            return;
    }
    throw ECrashboxSocketError("Cannot resolve the \"" + domain + "\" MX record.");
}

} // namespace cv
