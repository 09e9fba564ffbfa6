#include "crashreport/send/mail/dns_mx.h"

#include <gtest/gtest.h>

#include <chrono>

#include "crashreport/send/mail/client_socket.h"
#include "crashreport/send/local_servers.h"

using namespace cv;
using namespace std::string_literals;

namespace {

// --- Messages made by hand ---

std::string Word(uint16_t value) { return {char(value >> 8), char(value & 0xFF)}; }

// A reply to our query for the domain: the query's header with the answer
// count, the question, then the records as given.
std::string Reply(const std::string& domain, uint16_t answers, const std::string& records)
{
    std::string query = BuildMXQuery(domain);
    query[2] = char(0x81);
    query[3] = char(0x80);
    query.replace(6, 2, Word(answers));
    return query + records;
}

// An MX record owned by the question's name (a pointer to offset 12).
std::string MXRecord(uint16_t preference, const std::string& exchange, int lengthChange = 0)
{
    const std::string data = Word(preference) + exchange;
    return "\xC0\x0C"s + Word(15) + Word(1) + "\0\0\x0E\x10"s + Word(uint16_t(int(data.size()) + lengthChange)) + data;
}

QString Hex(const std::string& bytes) { return QString::fromLatin1(QByteArray::fromStdString(bytes).toHex()); }

// --- The query ---

TEST(DNSQuery, NamesAreLengthPrefixedLabels)
{
    EXPECT_EQ(EncodeDNSName("abcd.example.com"), "\x04" "abcd" "\x07" "example" "\x03" "com");
    EXPECT_EQ(EncodeDNSName("host."), "\x04" "host");
    EXPECT_EQ(EncodeDNSName(""), "");
}

TEST(DNSQuery, TheQueryAsksForMXRecordsWithRecursion)
{
    EXPECT_EQ(BuildMXQuery("abcd.example.com"),
              "AA\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00"s + "\x04" "abcd" "\x07" "example" "\x03" "com" + "\x00\x00\x0F\x00\x01"s);
}

// --- Reading names ---

struct NameCase {
    const char* what;
    std::string message;
    std::size_t start;
    std::string name;
    std::size_t after; // where the position ends (only for names found)
};

class DNSNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(DNSNames, DecodeOrRefuse)
{
    const NameCase& c = GetParam();
    std::size_t position = c.start;
    std::string name = "stale";
    DecodeDNSName(c.message, position, name);
    EXPECT_EQ(name, c.name) << c.what;
    if (!c.name.empty()) {
        EXPECT_EQ(position, c.after) << c.what;
    }
}

const std::string kPlain = "\x03www\x07" "example\x03" "com\x00"s; // 17 bytes

INSTANTIATE_TEST_SUITE_P(
    Cases, DNSNames,
    ::testing::Values(NameCase{"plain", kPlain, 0, "www.example.com", 17},
                      NameCase{"label and pointer", kPlain + "\x04mail\xC0\x04"s, 17, "mail.example.com", 24},
                      NameCase{"pointer first", kPlain + "\xC0\x00"s, 17, "www.example.com", 19},
                      NameCase{"pointer to a pointer", kPlain + "\xC0\x00\xC0\x11"s, 19, "www.example.com", 21},
                      NameCase{"the message's end ends the name", "\x03www"s, 0, "www", 5},
                      NameCase{"pointer to itself", "\xC0\x00"s, 0, "", 0},
                      NameCase{"pointers to each other", "\xC0\x02\xC0\x00"s, 0, "", 0},
                      NameCase{"a label between looping pointers", "\x01" "a\xC0\x00"s, 0, "", 0},
                      NameCase{"label cut short", "\x05" "ab"s, 0, "", 0},
                      NameCase{"pointer past the end", "\xC0\x40"s, 0, "", 0},
                      NameCase{"pointer cut in half", "\x01" "a\x00\xC0"s, 3, "", 0},
                      NameCase{"start past the end", kPlain, 40, "", 0}));

TEST(DNSRecords, TheExchangeFollowsThePreference)
{
    const std::string data = "\x00\x0A\x02mx\x00"s;
    std::string name;
    EXPECT_EQ(ReadMXRecord(data, 0, name), 10);
    EXPECT_EQ(name, "mx");
    EXPECT_EQ(ReadMXRecord("\x02mx\x00"s, 0, name), MakeNetWord(2, 'm')) << "data that is a bare name";
    EXPECT_EQ(name, "mx");
    EXPECT_EQ(ReadMXRecord("\x00\x0A\xC0\x02"s, 0, name), 0);
    EXPECT_EQ(name, "");
}

// --- Reading answers ---

struct AnswerCase {
    const char* what;
    std::string message;
    std::string host;
};

class DNSAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(DNSAnswers, TheFirstRecordsExchange)
{
    std::string host = "stale";
    ParseMXAnswer(GetParam().message, host);
    EXPECT_EQ(host, GetParam().host) << GetParam().what;
}

const std::string kExchange = "\x04mail\x07" "example\x03" "org\x00"s;

INSTANTIATE_TEST_SUITE_P(
    Cases, DNSAnswers,
    ::testing::Values(
        AnswerCase{"full name", Reply("example.org", 1, MXRecord(10, kExchange)), "mail.example.org"},
        AnswerCase{"one label and the question's name", Reply("example.org", 1, MXRecord(10, "\x02mx\xC0\x0C"s)), "mx.example.org"},
        AnswerCase{"only the first record counts",
                   Reply("example.org", 2, MXRecord(20, "\x02" "b1\xC0\x0C"s) + MXRecord(5, "\x02" "a1\xC0\x0C"s)), "b1.example.org"},
        AnswerCase{"no answer, an authority record", Reply("example.org", 0, MXRecord(10, kExchange)), ""},
        AnswerCase{"no records", Reply("example.org", 0, ""), ""},
        AnswerCase{"cut inside the exchange",
                   Reply("example.org", 1, MXRecord(10, kExchange)).substr(0, Reply("example.org", 1, MXRecord(10, kExchange)).size() - 6), ""},
        AnswerCase{"cut inside the record's header", Reply("example.org", 1, MXRecord(10, kExchange)).substr(0, 35), ""},
        AnswerCase{"a length beyond the data", Reply("example.org", 1, MXRecord(10, "\x02mx\xC0\x0C"s, 400)), "mx.example.org"},
        AnswerCase{"a length that cuts the name", Reply("example.org", 1, MXRecord(10, kExchange, -6)), ""},
        AnswerCase{"looping pointers", Reply("example.org", 1, MXRecord(10, "\x02mx\xC0\x2B"s)), ""},
        AnswerCase{"header only", "AA\x81\x80\x00\x01\x00\x01"s, ""}));

// --- Name servers ---

class DNSServers : public cvtest::SendTest {};

TEST_F(DNSServers, TheConfiguredIPv4ServersThenTheFallback)
{
    settings.ResolvConfPath = dir.write(QStringLiteral("resolv.conf"), "# comment\nsearch example.org\nnameserver 0.0.0.0\n"
                                                                       "nameserver\t10.1.2.3\nnameserver ::1\n"
                                                                       "  nameserver   10.4.5.6  # near\noptions ndots:1\n")
                                  .toStdString();
    settings.FallbackDNSServer = "10.9.9.9";
    apply();
    EXPECT_EQ(GetDNSServers(), (std::vector<std::string>{"10.1.2.3", "10.4.5.6", "10.9.9.9"}));

    settings.ResolvConfPath = dir.file(QStringLiteral("missing.conf")).toStdString();
    settings.FallbackDNSServer = " 0.0.0.0 ";
    apply();
    EXPECT_TRUE(GetDNSServers().empty());
}

// --- Lookups against servers of the test ---

class MXLookup : public cvtest::SendTest {
protected:
    // The resolver configuration lists the given servers (all on the DNS port).
    void nameServers(const std::vector<std::string>& servers)
    {
        std::string text;
        for (const std::string& s : servers)
            text += "nameserver " + s + "\n";
        settings.ResolvConfPath = dir.write(QStringLiteral("resolv.conf"), QByteArray::fromStdString(text)).toStdString();
        apply();
    }
};

TEST_F(MXLookup, DnsmasqNamesTheExchanges)
{
    auto dns = cvtest::StartDnsmasq(settings.DNSPort, {QStringLiteral("a.test,127.0.0.1,10"), QStringLiteral("b.test,mail.b.test,5")});
    ASSERT_TRUE(dns->started()) << dns->error().toStdString();
    std::string host;
    ResolveMXHost("someone@a.test", 3000, host);
    EXPECT_EQ(host, "127.0.0.1");
    ResolveMXHost("b.test", 3000, host);
    EXPECT_EQ(host, "mail.b.test") << "an address without @ is the domain";
    EXPECT_EQ(cvtest::SocketErrorOf([&] { ResolveMXHost("x@c.test", 300, host); }), "Cannot resolve the \"c.test\" MX record.");
    EXPECT_EQ(host, "");
}

TEST_F(MXLookup, ASilentServerIsAskedThreeTimesWithLongerWaitsThenTheNext)
{
    QString silentRecord, answerRecord;
    auto silent = cvtest::StartDNSPeer(dir, {}, silentRecord, QStringLiteral("127.0.0.2"), settings.DNSPort);
    auto answering = cvtest::StartDNSPeer(dir, {Hex(Reply("x.test", 1, MXRecord(10, "\x02mx\xC0\x0C"s)))}, answerRecord,
                                          QStringLiteral("127.0.0.1"), settings.DNSPort);
    ASSERT_TRUE(silent->started() && answering->started());
    nameServers({"127.0.0.2"});
    std::string host;
    const auto start = std::chrono::steady_clock::now();
    ResolveMXHost("me@x.test", 150, host); // waits of 100, 200 and 300 ms
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(host, "mx.x.test");
    EXPECT_GE(took.count(), 600) << "the three waits in full";
    // The queries' arrival as the kernel stamped it: the gaps between the
    // sends themselves, however late the server read them.
    const auto asked = cvtest::RecordedQueries(silentRecord);
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].bytes, BuildMXQuery("x.test"));
    EXPECT_GE(asked[1].time - asked[0].time, 99);
    EXPECT_GE(asked[2].time - asked[1].time, 199);
    EXPECT_EQ(cvtest::RecordedQueries(answerRecord).size(), 1u);
}

TEST_F(MXLookup, UnusableAnswersGiveWayToTheNextServer)
{
    const std::string good = Reply("x.test", 1, MXRecord(10, "\x04mail\xC0\x0C"s));
    QString badRecord, goodRecord;
    auto bad = cvtest::StartDNSPeer(dir,
                                    {Hex(good.substr(0, good.size() - 3)), Hex(Reply("x.test", 1, MXRecord(10, "\x02mx\xC0\x26"s))),
                                     Hex(Reply("x.test", 0, ""))},
                                    badRecord, QStringLiteral("127.0.0.2"), settings.DNSPort);
    auto fine = cvtest::StartDNSPeer(dir, {Hex(good)}, goodRecord, QStringLiteral("127.0.0.1"), settings.DNSPort);
    ASSERT_TRUE(bad->started() && fine->started());
    nameServers({"127.0.0.2"});
    std::string host;
    ResolveMXHost("me@x.test", 1000, host);
    EXPECT_EQ(host, "mail.x.test");
    EXPECT_EQ(cvtest::RecordedQueries(badRecord).size(), 3u) << "cut short, looping pointers, no answer";
}

TEST_F(MXLookup, ARefusedPortEndsTheLookup)
{
    QString record;
    auto fallback = cvtest::StartDNSPeer(dir, {Hex(Reply("x.test", 1, MXRecord(10, kExchange)))}, record,
                                         QStringLiteral("127.0.0.1"), settings.DNSPort);
    nameServers({"127.0.0.3"}); // nothing listens there
    std::string host;
    EXPECT_TRUE(cvtest::SocketErrorOf([&] { ResolveMXHost("me@x.test", 1000, host); }).starts_with("Error into \"recv\": \"Connection refused\""));
    EXPECT_TRUE(cvtest::RecordedQueries(record).empty()) << "a socket failure is not an unanswered query";
}

} // namespace
