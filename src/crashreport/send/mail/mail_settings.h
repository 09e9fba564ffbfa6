#pragma once
// Settings of the mail transports that the platform decides: the programs
// that stand in for the user's mail client, where the name servers are
// listed, the server asked when they give no answer, the ports and the
// waits. Tests point them at programs and servers of their own; the send
// step reads them once per send.

#include <cstdint>
#include <string>

namespace cv {

struct TMailSettings {
    // Hands a message with its attachments to the user's mail program
    // (arguments as xdg-email takes them).
    std::string MailClientCommand = "xdg-email";
    // Opens a mailto address: "%1" in any argument stands for the address.
    std::string MailtoCommand = "xdg-open \"%1\"";
    // The machine's name servers ("nameserver" lines) and the one asked
    // after them.
    std::string ResolvConfPath = "/etc/resolv.conf";
    std::string FallbackDNSServer = "8.8.8.8";
    uint16_t DNSPort = 53;
    // Mail exchangers take mail on this port.
    uint16_t MXPort = 25;
    // Waiting for a mail server's reply (and the MX lookup's whole budget).
    uint32_t SMTPTimeout = 30000;
    // A name server's reply ends after this long without another byte (an
    // SMTP reply is judged as soon as it is whole).
    uint32_t ReplySilence = 1000;
};

TMailSettings MailSettings();
void SetMailSettings(const TMailSettings& settings);

} // namespace cv
