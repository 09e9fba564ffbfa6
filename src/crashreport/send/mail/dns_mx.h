#pragma once
// Finding a recipient domain's mail exchanger with our own minimal DNS
// client: an MX query over UDP to each name server of the machine (those of
// the resolver configuration, then the fallback server of the mail
// settings), the exchange name taken from the first answer record.
//
// The answer parser never reads outside the message: a name that runs past
// its end, or a chain of compression pointers that comes back on itself,
// decodes as the empty name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

// The exchange of the address's domain (the text after the first "@", or
// the whole address). Each server is asked up to three times, with waits of
// (timeout + 150) div 3 ms plus 0, 100 and 200 ms. Raises
// ECrashboxSocketError ("Cannot resolve the "<domain>" MX record.", or a
// socket failure, which ends the lookup).
void ResolveMXHost(const std::string& address, uint32_t timeout, std::string& host);

// The servers to ask, in order: the resolver configuration's IPv4 name
// servers, then the fallback server.
std::vector<std::string> GetDNSServers();
// Adds the address unless it is "0.0.0.0" (blanks around it ignored).
void AddDNSServer(const std::string& address, std::vector<std::string>& list);
bool IsUsableDNSAddress(const std::string& address);

// Each dot-separated part as its length byte and its characters (no final 0).
std::string EncodeDNSName(std::string_view name);
std::string BuildMXQuery(std::string_view domain);
// The name at `position` (compression pointers followed); position moves to
// the byte after the name (after the first pointer when one was followed).
// An unreadable name gives "" and leaves position at the failing label.
void DecodeDNSName(std::string_view message, std::size_t& position, std::string& name);
// The exchange name of record data starting at `position` (after its
// 16-bit preference, or the data as a bare name); the preference, 0 when no
// name was found.
uint16_t ReadMXRecord(std::string_view message, std::size_t position, std::string& name);
// The exchange name of the first answer record; "" when there is none.
void ParseMXAnswer(std::string_view message, std::string& host);
constexpr uint16_t MakeNetWord(uint8_t high, uint8_t low) { return uint16_t(high * 256 + low); }

} // namespace cv
