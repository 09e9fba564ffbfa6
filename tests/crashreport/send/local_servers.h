#pragma once
// Servers the sending tests start on 127.0.0.1 and stop again: the Python
// scripts in servers/ (an SMTP server kept by aiosmtpd, a scripted TCP peer,
// a scripted name server), dnsmasq; and the mail settings each test sets.

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/send/mail/mail_settings.h"
#include "support/test_support.h"

namespace cvtest {

// Debian's interpreter (with aiosmtpd), and the one on the PATH.
QString debianPython();
QString pathPython();
QString serverScript(const char* name);

// A server process, killed when the object goes. A server that announces
// its port prints "PORT <n>" first.
class LocalServer {
public:
    LocalServer(const QString& program, const QStringList& arguments, bool announcesPort = true);
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;
    bool started() const { return m_started; }
    uint16_t port() const { return m_port; }
    QString error() const { return m_error; }
    bool running() const { return m_process->state() == QProcess::Running; }
    // Not started after all (it never became ready): why, with what it said.
    void fail(const QString& why);

private:
    std::unique_ptr<QProcess> m_process;
    bool m_started = false;
    uint16_t m_port = 0;
    QString m_error;
};

// The message of the ECrashboxSocketError the action raises ("<no error>" when none).
std::string SocketErrorOf(const std::function<void()>& action);

// A port nobody listens on right now.
uint16_t FreePort(bool tcp);
// A TCP port of 127.0.0.1 that refuses connections for as long as this
// lives: bound and never listened on, so that no server started meanwhile
// (by a test running beside this one) can take it.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    uint16_t port() const { return m_port; }

private:
    int m_socket = -1;
    uint16_t m_port = 0;
};
// A port free for UDP and TCP alike right now (a name server takes both),
// and not one that a TCP connection closed a moment ago still holds.
uint16_t FreeUDPAndTCPPort();

// aiosmtpd keeping messages in `folder` (AUTH LOGIN when user is given).
std::unique_ptr<LocalServer> StartSMTPServer(const QString& folder, const QString& host = QStringLiteral("127.0.0.1"),
                                             uint16_t port = 0, const QString& user = {}, const QString& password = {});
// The text as a JSON string literal (for the peers' scripts).
std::string JsonString(std::string_view text);
// The scripted TCP peer; what it reads goes to `record`.
std::unique_ptr<LocalServer> StartTCPPeer(const TempDir& dir, const QString& scriptJson, QString& record);
// The scripted name server; queries go to `record`.
std::unique_ptr<LocalServer> StartDNSPeer(const TempDir& dir, const QStringList& repliesHex, QString& record,
                                          const QString& host = QStringLiteral("127.0.0.1"), uint16_t port = 0);
// dnsmasq on 127.0.0.1:port (UDP and TCP) with the MX records
// ("domain,exchange,preference"), ready to answer; not started, with
// dnsmasq's words, when it does not answer within ten seconds.
std::unique_ptr<LocalServer> StartDnsmasq(uint16_t port, const QStringList& mxHosts);

// The members of the report archive in a kept message ("mail"), the
// upload of a request log ("upload"; the first, or the index-th from 0) or
// an archive file ("zip"), in archive order; each is written into `folder`
// under its name.
QStringList ArchiveMembers(const QString& mode, const QString& file, const QString& folder, int index = 0);

// The messages an SMTP server kept, in order, as read_message.py gives them (JSON).
std::vector<QByteArray> KeptMessages(const QString& folder);
// The queries a DNS peer recorded: arrival time (ms) and bytes.
struct RecordedQuery {
    int64_t time = 0;
    std::string bytes;
};
std::vector<RecordedQuery> RecordedQueries(const QString& record);

// Mail settings for a test: short waits, nothing reaching beyond this
// machine; the old settings come back at the end.
class SendTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Makes `settings` (the test's defaults, changed by the test) current.
    void apply() { cv::SetMailSettings(settings); }
    cv::TMailSettings settings;
    TempDir dir;

private:
    cv::TMailSettings m_saved;
};

} // namespace cvtest
