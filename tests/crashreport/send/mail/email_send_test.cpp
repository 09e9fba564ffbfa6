#include "crashreport/send/mail/email_send.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstring>
#include <thread>

#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/support/crashbox_codecs.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/core/support/crashbox_zip.h"
#include "crashreport/core/support/report_helpers.h"
#include "crashreport/send/context/send_context.h"
#include "crashreport/send/local_servers.h"

using namespace cv;

namespace {

// --- Texts of the message ---

TEST(MailTexts, URLEncodingKeepsLettersDigitsHyphensAndHighBytes)
{
    EXPECT_EQ(URLEncodeA("Crash report 1.2-b"), "Crash%20report%201%2E2-b");
    EXPECT_EQ(URLEncodeA("a@b_c\r\n"), "a%40b%5Fc%0D%0A");
    EXPECT_EQ(URLEncodeA("Gr\xC3\xBC\xC3\x9F" "e"), "Gr\xC3\xBC\xC3\x9F" "e");
}

TEST(MailTexts, CommandLinesSplitAtBlanksOutsideQuotes)
{
    EXPECT_EQ(SplitCommandLine("xdg-open \"%1\""), (std::vector<std::string>{"xdg-open", "%1"}));
    EXPECT_EQ(SplitCommandLine("  /bin/sh  \"a b\"c \"say \"\"hi\"\"\" \"\" "),
              (std::vector<std::string>{"/bin/sh", "a bc", "say \"hi\"", ""}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}

struct SenderCase {
    const char* from;
    std::string header;
    const char* envelope;
};

class MailSenders : public ::testing::TestWithParam<SenderCase> {};

TEST_P(MailSenders, HeaderAndEnvelope)
{
    const SenderCase& c = GetParam();
    const std::string header = SMTPHeaderSender(c.from);
    EXPECT_EQ(header, c.header);
    EXPECT_EQ(SMTPEnvelopeAddress(header), c.envelope);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MailSenders,
    ::testing::Values(SenderCase{"crash@example.com", "\"" + GetSenderDisplayName() + "\" <crash@example.com>", "crash@example.com"},
                      SenderCase{"\"Support\" <help@example.com>", "\"Support\" <help@example.com>", "help@example.com"},
                      SenderCase{"Support <help@example.com>", "Support <help@example.com>", "help@example.com"},
                      SenderCase{"a@b\r\n.c", "\"" + GetSenderDisplayName() + "\" <a@b .c>", "a@b .c"}));

TEST(MailTexts, TheSenderIsNamedByTheOwnerOrTheUser)
{
    const std::string name = GetSenderDisplayName();
    EXPECT_FALSE(name.empty());
    EXPECT_TRUE(name == GetRegisteredOwner() || (GetRegisteredOwner().empty() && name == GetCurrentUserName()));
}

TEST(MailTexts, BodyLinesAreCRLFAndLeadingDotsDoubled)
{
    EXPECT_EQ(SMTPBodyLines("one\ntwo\r\nthree\rfour"), "one\r\ntwo\r\nthree\r\nfour");
    EXPECT_EQ(SMTPBodyLines(".\r\n..x\n.end"), "..\r\n...x\r\n..end");
    EXPECT_EQ(SMTPBodyLines("a.b\r\n\r\n"), "a.b\r\n\r\n");
}

// --- Attachments ---

class MailAttachments : public cvtest::SendTest {};

TEST_F(MailAttachments, Base64LinesOf80Characters)
{
    QByteArray bytes(200, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    const std::string file = dir.write(QStringLiteral("data.bin"), bytes).toStdString();
    const std::string lines = EncodeFileBase64Lines(file);
    ASSERT_EQ(lines.size(), 268u + 3 * 2);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(lines.substr(std::size_t(i) * 82 + 80, 2), "\r\n");
    EXPECT_EQ(lines.find('\r', 246), std::string::npos) << "the last line of 28 has no line break";
    std::string joined = lines;
    std::erase(joined, '\r');
    std::erase(joined, '\n');
    EXPECT_EQ(Base64DecodeStr(joined), bytes.toStdString());
    EXPECT_EQ(EncodeFileBase64Lines(dir.file(QStringLiteral("missing.bin")).toStdString()), "");
    EXPECT_EQ(EncodeFileBase64Lines(" "), "");
}

TEST_F(MailAttachments, APartPerExistingFileTypedByItsExtension)
{
    const std::string shot = dir.write(QStringLiteral("shot.Png"), "abc").toStdString();
    const std::string zip = dir.write(QStringLiteral("BugReport.zip"), "abcd").toStdString();
    EXPECT_EQ(BuildAttachmentPart(shot), "\r\n--=_xcjvnxkbhvfkxzhfdbvzldjhfv\r\n"
                                         "Content-Type: image/png;\r\n"
                                         "        name=\"shot.Png\"\r\n"
                                         "Content-Transfer-Encoding: base64\r\n"
                                         "Content-Disposition: attachment;\r\n"
                                         "        filename=\"shot.Png\"\r\n"
                                         "\r\n"
                                         "YWJj\r\n");
    EXPECT_NE(BuildAttachmentPart(zip).find("Content-Type: application/octet-stream;\r\n"), std::string::npos);
    EXPECT_EQ(BuildAttachmentPart(dir.file(QStringLiteral("gone.zip")).toStdString()), "");
    const std::vector<std::string> files{zip, dir.file(QStringLiteral("gone.zip")).toStdString()};
    const std::vector<std::string> extra{shot};
    EXPECT_EQ(BuildAttachmentParts(extra, files), BuildAttachmentPart(zip) + BuildAttachmentPart(shot))
        << "the list's files come first";
}

TEST_F(MailAttachments, NamesCarryTheReportsStamps)
{
    TCrashboxModuleOptions options("");
    options.SetCommonSendOptions({sndAddComputerNameInFileName});
    TReportFileState state;
    state.ComputerName = "BOX";
    SetReportBeingSent({&options, state});
    const std::string zip = dir.write(QStringLiteral("BugReport.zip"), "z").toStdString();
    EXPECT_NE(BuildAttachmentPart(zip).find("filename=\"BugReport__BOX.zip\""), std::string::npos);
    ClearReportBeingSent();
}

TEST_F(MailAttachments, TheMessageLayout)
{
    const std::string message = BuildSMTPMessage("\"Me\" <me@here.test>", "Crash\r\nin x", "you@there.test",
                                                  "Hello\n.\nBye", {}, {});
    const std::vector<std::string_view> lines = SplitTextLines(message);
    ASSERT_EQ(lines.size(), 19u) << message;
    EXPECT_TRUE(lines[0].starts_with("Date: "));
    const std::vector<std::string_view> rest(lines.begin() + 1, lines.end());
    EXPECT_EQ(rest, (std::vector<std::string_view>{
                        "From: \"Me\" <me@here.test>", "Subject: Crash in x", "To: <you@there.test>",
                        "Content-Type: multipart/mixed; boundary=\"=_xcjvnxkbhvfkxzhfdbvzldjhfv\";", "MIME-Version: 1.0",
                        rest[5], "", "This is a multi-part message in MIME format", "", "--=_xcjvnxkbhvfkxzhfdbvzldjhfv",
                        "Content-Type: text/plain", "Content-Transfer-Encoding: 7bit", "", "Hello", "..", "Bye",
                        "--=_xcjvnxkbhvfkxzhfdbvzldjhfv--", "."}));
    EXPECT_TRUE(rest[5].starts_with("Message-ID: <") && rest[5].ends_with("@crashbox.localhost>"));
    EXPECT_FALSE(message.ends_with("\r\n")) << "the command layer ends the last line";
}

// --- SMTP against servers of the test ---

QJsonObject Json(const QByteArray& bytes) { return QJsonDocument::fromJson(bytes).object(); }

class SMTPSending : public cvtest::SendTest {
protected:
    std::unique_ptr<cvtest::LocalServer> smtp(const QString& folder, const QString& host = QStringLiteral("127.0.0.1"),
                                              uint16_t port = 0, const QString& user = {}, const QString& password = {})
    {
        auto server = cvtest::StartSMTPServer(dir.file(folder), host, port, user, password);
        if (!server->started())
            ADD_FAILURE() << server->error().toStdString();
        return server;
    }
    std::vector<QJsonObject> kept(const QString& folder)
    {
        std::vector<QJsonObject> messages;
        for (const QByteArray& m : cvtest::KeptMessages(dir.file(folder))) {
            EXPECT_FALSE(m.startsWith("ERROR")) << m.toStdString();
            messages.push_back(Json(m));
        }
        return messages;
    }
    static std::string Str(const QJsonValue& v) { return v.toString().toStdString(); }
};

TEST_F(SMTPSending, TheServerGetsTheHeadersInOrderAndTheArchiveBack)
{
    auto server = smtp(QStringLiteral("mail"));
    const std::string zipName = dir.file(QStringLiteral("BugReport.zip")).toStdString();
    const std::string log = dir.write(QStringLiteral("report.elf"), QByteArray(5000, 'L')).toStdString();
    {
        TZipWriter zip(zipName, "");
        ASSERT_TRUE(zip.AddFile(log, "report.elf"));
    }
    const QByteArray zipBytes = cvtest::readAll(QString::fromStdString(zipName));
    const std::string shot = dir.write(QStringLiteral("screen.png"), "\x89PNG fake").toStdString();
    const std::vector<std::string> files{zipName};
    const std::vector<std::string> extra{shot};
    ASSERT_TRUE(SendEmailBySMTP(false, "crash@here.test", "127.0.0.1", extra, files, "Line one\n.\nLast line",
                                "Error\r\nreport", "support@there.test", "", "", server->port()));
    const auto messages = kept(QStringLiteral("mail"));
    ASSERT_EQ(messages.size(), 1u);
    const QJsonObject& m = messages[0];
    const QJsonObject record = m["record"].toObject();
    EXPECT_EQ(Str(record["mail_from"]), "crash@here.test");
    EXPECT_EQ(record["rcpt_tos"].toArray().size(), 1);
    EXPECT_EQ(Str(record["rcpt_tos"].toArray()[0]), "support@there.test");
    EXPECT_EQ(Str(record["helo"]), GetLocalHostNameA());
    EXPECT_FALSE(record["authenticated"].toBool());

    QStringList names;
    for (const QJsonValue& v : m["header_names"].toArray())
        names << v.toString();
    EXPECT_EQ(names, (QStringList{"Date", "From", "Subject", "To", "Content-Type", "MIME-Version", "Message-ID"}));
    const QJsonObject headers = m["headers"].toObject();
    EXPECT_EQ(Str(headers["From"]), "\"" + GetSenderDisplayName() + "\" <crash@here.test>");
    EXPECT_EQ(Str(headers["Subject"]), "Error report");
    EXPECT_EQ(Str(headers["To"]), "<support@there.test>");
    EXPECT_EQ(Str(m["boundary"]), kMIMEBoundary);
    EXPECT_EQ(Str(m["preamble"]), "This is a multi-part message in MIME format\r\n");

    const QJsonArray parts = m["parts"].toArray();
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(Str(parts[0].toObject()["type"]), "text/plain");
    EXPECT_EQ(QByteArray::fromHex(parts[0].toObject()["bytes"].toString().toLatin1()), "Line one\r\n.\r\nLast line\r\n")
        << "the dot line came through whole";
    EXPECT_EQ(Str(parts[1].toObject()["type"]), "application/octet-stream");
    EXPECT_EQ(Str(parts[1].toObject()["filename"]), "BugReport.zip");
    EXPECT_EQ(QByteArray::fromHex(parts[1].toObject()["bytes"].toString().toLatin1()), zipBytes);
    EXPECT_EQ(Str(parts[2].toObject()["type"]), "image/png");
    EXPECT_EQ(QByteArray::fromHex(parts[2].toObject()["bytes"].toString().toLatin1()), "\x89PNG fake");
}

TEST_F(SMTPSending, EachRecipientHasASessionOfItsOwn)
{
    auto server = smtp(QStringLiteral("mail"));
    EXPECT_TRUE(SendEmailBySMTP(false, "crash@here.test", "127.0.0.1", {}, {}, "b", "s", "one@a.test; two@b.test,",
                                "", "", server->port()));
    const auto messages = kept(QStringLiteral("mail"));
    ASSERT_EQ(messages.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject record = messages[std::size_t(i)]["record"].toObject();
        EXPECT_EQ(record["connection"].toInt(), i + 1);
        EXPECT_EQ(record["rcpt_tos"].toArray().size(), 1);
        EXPECT_EQ(Str(messages[std::size_t(i)]["headers"].toObject()["To"]), i == 0 ? "<one@a.test>" : "<two@b.test>");
    }
}

TEST_F(SMTPSending, AuthLoginAcceptedAndRefused)
{
    auto server = smtp(QStringLiteral("mail"), QStringLiteral("127.0.0.1"), 0, QStringLiteral("reporter"), QStringLiteral("s3cret"));
    EXPECT_TRUE(SendEmailBySMTP(false, "crash@here.test", "127.0.0.1", {}, {}, "b", "s", "to@there.test", "s3cret",
                                "reporter", server->port()));
    EXPECT_FALSE(SendEmailBySMTP(false, "crash@here.test", "127.0.0.1", {}, {}, "b", "s", "to@there.test", "wrong",
                                 "reporter", server->port()));
    EXPECT_EQ(LastInternalWarning().Code, eeEmailSMTPError);
    EXPECT_TRUE(LastInternalWarning().Message.starts_with("[SMTP] Error log:\r\n535 ")) << LastInternalWarning().Message;
    const auto messages = kept(QStringLiteral("mail"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0]["record"].toObject()["authenticated"].toBool());
    EXPECT_EQ(Str(messages[0]["record"].toObject()["login"]), "reporter");
}

TEST_F(SMTPSending, DirectDeliveryGoesToEachDomainsExchanger)
{
    settings.MXPort = cvtest::FreePort(true);
    apply();
    auto dns = cvtest::StartDnsmasq(settings.DNSPort, {QStringLiteral("a.test,127.0.0.1,10"), QStringLiteral("b.test,127.0.0.2,10")});
    ASSERT_TRUE(dns->started()) << dns->error().toStdString();
    // Both exchangers offer AUTH LOGIN; neither may be asked for it.
    auto first = smtp(QStringLiteral("first"), QStringLiteral("127.0.0.1"), settings.MXPort, QStringLiteral("u"), QStringLiteral("p"));
    auto second = smtp(QStringLiteral("second"), QStringLiteral("127.0.0.2"), settings.MXPort, QStringLiteral("u"), QStringLiteral("p"));
    EXPECT_TRUE(SendEmailBySMTP(true, "crash@here.test", "ignored.invalid", {}, {}, "b", "s",
                                "x@a.test;nobody@c.test;y@b.test", "p", "u", 2525));
    EXPECT_EQ(LastInternalWarning().Message, "[SMTP] Cannot resolve the \"c.test\" MX record.")
        << "a domain without exchanger fails alone";
    for (const auto& [folder, to] : {std::pair{"first", "x@a.test"}, std::pair{"second", "y@b.test"}}) {
        const auto messages = kept(QString::fromLatin1(folder));
        ASSERT_EQ(messages.size(), 1u) << folder;
        const QJsonObject record = messages[0]["record"].toObject();
        EXPECT_EQ(Str(record["rcpt_tos"].toArray()[0]), to);
        EXPECT_FALSE(record["authenticated"].toBool());
    }
}

TEST_F(SMTPSending, AServerWithoutAuthLoginStillGetsTheMail)
{
    QString record;
    auto peer = cvtest::StartTCPPeer(
        dir,
        QStringLiteral(R"([["send", "220 hi\r\n"], ["line"], ["send", "250-peer\r\n"], ["sleep", 50], ["send", "250 HELP\r\n"],)"
                       R"( ["line"], ["send", "250 reset\r\n"], ["line"], ["send", "502 no\r\n"], ["line"], ["send", "502 no\r\n"],)"
                       R"( ["line"], ["send", "502 no\r\n"], ["line"], ["send", "250 from\r\n"], ["line"], ["send", "251 to\r\n"],)"
                       R"( ["line"], ["send", "354 go\r\n"], ["until", "\r\n.\r\n"], ["send", "250 kept\r\n"]])"),
        record);
    ASSERT_TRUE(peer->started());
    settings.ReplySilence = 150; // the EHLO reply comes in two bursts
    apply();
    EXPECT_TRUE(SendSMTPMessage("me@here.test", "127.0.0.1", {}, {}, "body", "subject", "you@there.test", "pass", "user",
                                peer->port()))
        << LastInternalWarning().Message;
    std::string received;
    for (int i = 0; i < 100 && !received.ends_with("<CLOSED>"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        received = cvtest::readAll(record).toStdString();
    }
    const std::string head = "EHLO " + GetLocalHostNameA() +
                             "\r\nRSET\r\nAUTH LOGIN\r\ndXNlcg==\r\ncGFzcw==\r\nMAIL FROM:<me@here.test>\r\n"
                             "RCPT TO:<you@there.test>\r\nDATA\r\nDate: ";
    EXPECT_EQ(received.substr(0, head.size()), head);
    EXPECT_TRUE(received.ends_with("\r\nbody\r\n--=_xcjvnxkbhvfkxzhfdbvzldjhfv--\r\n.\r\n<CLOSED>")) << "no QUIT";
}

struct FailureCase {
    const char* what;
    const char* script;
    const char* warningStart;
};

class SMTPFailures : public SMTPSending, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SMTPFailures, EndInTheSMTPWarning)
{
    const FailureCase& c = GetParam();
    QString record;
    auto peer = cvtest::StartTCPPeer(dir, QString::fromUtf8(c.script), record);
    ASSERT_TRUE(peer->started());
    settings.SMTPTimeout = 300;
    apply();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SendEmailBySMTP(false, "me@here.test", "127.0.0.1", {}, {}, "b", "s", "you@there.test", "", "", peer->port()))
        << c.what;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << c.what;
    EXPECT_EQ(LastInternalWarning().Code, eeEmailSMTPError) << c.what;
    EXPECT_TRUE(LastInternalWarning().Message.starts_with(c.warningStart)) << c.what << ": " << LastInternalWarning().Message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SMTPFailures,
    ::testing::Values(FailureCase{"a greeting that is not 220", R"([["send", "421 busy\r\n"], ["hold"]])", "[SMTP] Error log:\r\n421 busy\r\n"},
                      FailureCase{"a reply without digits", R"([["send", "220 hi\r\n"], ["line"], ["send", "hello yourself\r\n"], ["hold"]])",
                                  "[SMTP] Error log:\r\nhello yourself\r\n\r\n\r\nSocket log:\r\nConnected to 127.0.0.1"},
                      FailureCase{"silence after the greeting", R"([["send", "220 hi\r\n"], ["hold"]])", "[SMTP] Socket timeout.\r\n"},
                      FailureCase{"a recipient refused", R"([["send", "220 hi\r\n"], ["line"], ["send", "250 a\r\n"], ["line"],)"
                                                         R"( ["send", "250 b\r\n"], ["line"], ["send", "250 c\r\n"], ["line"],)"
                                                         R"( ["send", "550 no such user\r\n"], ["hold"]])",
                                  "[SMTP] Error log:\r\n550 no such user\r\n"},
                      FailureCase{"a hang-up", R"([["close"]])", "[SMTP] Connection closed by the peer."}));

TEST_F(SMTPSending, ARefusedConnectionOrUnknownHostEndsInTheWarning)
{
    const cvtest::RefusingPort refusing;
    EXPECT_FALSE(SendSMTPMessage("me@here.test", "127.0.0.1", {}, {}, "b", "s", "you@there.test", "", "", refusing.port()));
    EXPECT_TRUE(LastInternalWarning().Message.starts_with("[SMTP] Connection error: \"Connection refused\""));
    EXPECT_FALSE(SendSMTPMessage("me@here.test", "", {}, {}, "b", "s", "you@there.test", "", "", 25));
    EXPECT_EQ(LastInternalWarning().Message, "[SMTP] Unable to resolve host \"\".");
}

// --- The mail program and the mailto command ---

class MailPrograms : public cvtest::SendTest {
protected:
    // A program that writes its arguments (one per line) and exits with the code.
    std::string recorder(int exitCode)
    {
        const QString script = dir.write(QStringLiteral("record.sh"), "printf '%s\\n' \"$@\" > \"$0.args\"\nexit $1\n");
        return "/bin/sh \"" + script.toStdString() + "\" " + std::to_string(exitCode);
    }
    QStringList arguments() const
    {
        QString text = QString::fromUtf8(cvtest::readAll(dir.file(QStringLiteral("record.sh.args"))));
        text.chop(1);
        return text.split(QLatin1Char('\n'));
    }
};

TEST_F(MailPrograms, TheMailProgramGetsEverythingAsArguments)
{
    settings.MailClientCommand = recorder(0);
    apply();
    const std::string zip = dir.write(QStringLiteral("BugReport.zip"), "z").toStdString();
    const std::string shot = dir.write(QStringLiteral("shot.png"), "p").toStdString();
    const std::vector<std::string> files{zip, dir.file(QStringLiteral("gone.zip")).toStdString()};
    const std::vector<std::string> extra{shot};
    EXPECT_TRUE(SendMAPIMessage("a@x.test; b@y.test", "Crash\nreport", "Body\nlines", extra, files));
    EXPECT_EQ(arguments(), (QStringList{"0", "--utf8", "--subject", "Crash report", "--body", "Body", "lines", "--attach",
                                        QString::fromStdString(shot), "--attach", QString::fromStdString(zip), "a@x.test",
                                        "b@y.test"}));
}

TEST_F(MailPrograms, TheMailProgramsAnswerBecomesTheWarning)
{
    for (const auto& [command, warning] :
         {std::pair{recorder(3), "Cannot open the MAPI dll."}, std::pair{recorder(4), "Cannot send the MAPI message."},
          std::pair{std::string("/nonexistent/xdg-email"), "Cannot open the MAPI dll."}}) {
        settings.MailClientCommand = command;
        apply();
        ClearInternalWarning();
        EXPECT_FALSE(SendEmailByMAPI("a@x.test", "s", "b", "")) << command;
        EXPECT_EQ(LastInternalWarning().Code, eeEmailMAPIError);
        EXPECT_EQ(LastInternalWarning().Message, warning) << command;
    }
}

TEST_F(MailPrograms, TheMailtoAddressCarriesTheReport)
{
    settings.MailtoCommand = recorder(5) + " --open \"%1\"";
    apply();
    TReportFileState state;
    state.ReportText = "Report: 1.";
    SetReportBeingSent({nullptr, state});
    EXPECT_TRUE(SendEmailByMailto("a@x.test;b@y.test", "Crash report", "See below")) << "the exit code is not judged";
    ClearReportBeingSent();
    EXPECT_EQ(arguments(), (QStringList{"5", "--open",
                                        "mailto:a@x.test;b@y.test?Subject=Crash%20report&Body=See%20below%0D%0A%0D%0A%0D%0A"
                                        "Report%3A%201%2E"}));
}

// A program refuses an argument of 128 KiB or more (E2BIG): a long report is
// cut, with a line that says where the rest is.
TEST_F(MailPrograms, ALongReportIsCutToWhatAMailProgramCanBeHanded)
{
    settings.MailtoCommand = recorder(0) + " \"%1\"";
    settings.MailClientCommand = recorder(0);
    apply();
    TCrashboxModuleOptions options("/opt/example/example");
    const std::string out = dir.file(QStringLiteral("out")).toStdString();
    options.SetOutputPath(out + "/");
    TReportFileState state;
    // Each "é" is two bytes, which an encoded address passes as they are.
    for (int line = 0; state.ReportText.size() < 200 * 1024; ++line)
        state.ReportText += "  " + std::to_string(line) + " Item : valeur été\r\n";
    SetReportBeingSent({&options, state});
    EXPECT_TRUE(SendEmailByMailto("a@x.test", "Crash", "See below"));
    ClearReportBeingSent();
    const QStringList mailto = arguments();
    ASSERT_EQ(mailto.size(), 2);
    const QByteArray address = mailto[1].toUtf8();
    EXPECT_LE(std::size_t(address.size()), kMaxMailArgument);
    EXPECT_GT(std::size_t(address.size()), kMaxMailArgument - 100);
    const std::string body = QByteArray::fromPercentEncoding(address.mid(address.indexOf("&Body=") + 6)).toStdString();
    EXPECT_TRUE(QString::fromUtf8(body).toUtf8() == QByteArray::fromStdString(body)) << "no character cut in two";
    EXPECT_TRUE(body.ends_with("[The report is cut here: it is too long to hand to the mail program whole. All of it is in the "
                               "error log: " + out + "/example.elf]"))
        << body.substr(body.size() - 200);

    // The mail program's body likewise; the report goes as its attachments.
    EXPECT_TRUE(SendMAPIMessage("a@x.test", "Crash", state.ReportText, {}, {}));
    const QStringList mail = arguments();
    ASSERT_EQ(mail.back(), QStringLiteral("a@x.test"));
    const QString cut = mail.mid(mail.indexOf(QStringLiteral("--body")) + 1).join(QLatin1Char('\n'));
    const QString mailBody = cut.left(cut.size() - int(std::strlen("\na@x.test")));
    EXPECT_LE(std::size_t(mailBody.toUtf8().size()), kMaxMailArgument);
    EXPECT_TRUE(mailBody.endsWith(QStringLiteral("The attached files hold all of it.]")));
}

TEST(CutTextToFit, KeepsWholeCharactersAndTheNote)
{
    const auto plain = [](unsigned char) { return std::size_t(1); };
    EXPECT_EQ(CutTextToFit("short", 10, "[cut]", plain), "short");
    EXPECT_EQ(CutTextToFit("0123456789ab", 10, "[cut]", plain), "01234[cut]");
    // "é" is two bytes: never one of them alone.
    EXPECT_EQ(CutTextToFit("abcé", 4, "", plain), "abc");
    EXPECT_EQ(CutTextToFit("abcéd", 5, "", plain), "abcé");
    const auto encoded = [](unsigned char b) { return std::size_t(b == ' ' ? 3 : 1); };
    EXPECT_EQ(CutTextToFit("a b c d", 6, "", encoded), "a b");
}

TEST_F(MailPrograms, AMailtoCommandThatCannotStartIsTheShellWarning)
{
    EXPECT_FALSE(SendEmailByMailto("a@x.test", "s", "m"));
    EXPECT_EQ(LastInternalWarning().Code, eeEmailShellError);
    EXPECT_EQ(LastInternalWarning().Message, "No such file or directory");
}

} // namespace
