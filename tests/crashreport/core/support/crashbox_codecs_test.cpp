#include "crashreport/core/support/crashbox_codecs.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <random>

#include "crashreport/core/python_oracle.h"

using namespace cv;

namespace {

std::string Hex(std::span<const uint8_t> bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::span<const uint8_t> Bytes(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

// Buffers of the lengths where MD5's padding and Base64's groups change.
std::vector<std::string> SampleBuffers()
{
    std::mt19937 random(17);
    std::vector<std::string> out;
    for (const std::size_t n : {0, 1, 2, 3, 4, 7, 8, 9, 12, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 4099}) {
        std::string s(n, '\0');
        for (auto& c : s)
            c = char(random() & 0xFF);
        out.push_back(s);
    }
    out.push_back("abc");
    out.push_back("123456789");
    return out;
}

// For each buffer (hex on stdin, one a line): md5, base64, crc_hqx and the
// buffer enciphered in chaining mode with the password "Corvantis" by the
// cipher as specified (initial vector of 0xA5 bytes, tail XORed with the
// encrypted chaining block).
const char* kOracle = R"(
import sys, json, hashlib, base64, binascii, struct
M = 0xffffffff
def key(pw):
    return struct.unpack('>4I', hashlib.md5(pw).digest())
def enc(block, k):
    y, z = struct.unpack('>2I', block)
    s = 0
    for _ in range(32):
        s = (s + 0x9E3779B9) & M
        y = (y + (((z << 4) & M) + (z ^ k[0]) + ((z >> 5) ^ s) + k[1])) & M
        z = (z + (((y << 4) & M) + (k[2] ^ y) + ((y >> 5) ^ s) + k[3])) & M
    return struct.pack('>2I', y, z)
def cbc(data, k):
    chain, out, i = b'\xa5' * 8, b'', 0
    while i + 8 <= len(data):
        c = enc(bytes(a ^ b for a, b in zip(data[i:i+8], chain)), k)
        out += c; chain = c; i += 8
    if i < len(data):
        out += bytes(a ^ b for a, b in zip(data[i:], enc(chain, k)))
    return out
k = key(b'Corvantis')
res = []
for line in sys.stdin.read().split('\n')[:-1]:
    d = bytes.fromhex(line)
    res.append({'md5': hashlib.md5(d).hexdigest(), 'b64': base64.b64encode(d).decode(),
                'crc': binascii.crc_hqx(d, 0), 'tea': cbc(d, k).hex()})
print(json.dumps({'key': list(k), 'res': res}))
)";

} // namespace

TEST(CrashboxCodecs, AgreeWithPythonOnMd5Base64Crc16AndTheCipher)
{
    if (!cvtest::havePython())
        GTEST_SKIP() << "python3 not available";
    const std::vector<std::string> buffers = SampleBuffers();
    QByteArray input;
    for (const auto& b : buffers)
        input += QByteArray::fromStdString(Hex(Bytes(b))) + '\n';
    QString error;
    const QJsonObject oracle = QJsonDocument::fromJson(cvtest::runPython(QString::fromUtf8(kOracle), {}, input, &error)).object();
    ASSERT_FALSE(oracle.isEmpty()) << error.toStdString();

    TTEACipher cipher("Corvantis");
    const QJsonArray key = oracle.value("key").toArray();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(cipher.Key()[i], uint32_t(key[i].toDouble())) << "key word " << i;

    const QJsonArray results = oracle.value("res").toArray();
    ASSERT_EQ(std::size_t(results.size()), buffers.size());
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        SCOPED_TRACE("buffer of " + std::to_string(buffers[i].size()) + " bytes");
        const QJsonObject r = results[int(i)].toObject();
        EXPECT_EQ(Hex(MD5String(buffers[i])), r.value("md5").toString().toStdString());
        const std::string b64 = Base64EncodeStr(buffers[i]);
        EXPECT_EQ(b64, r.value("b64").toString().toStdString());
        EXPECT_EQ(b64.size(), Base64EncodedLength(buffers[i].size()));
        EXPECT_EQ(Base64DecodedLength(b64), buffers[i].size());
        EXPECT_EQ(Base64DecodeStr(b64), buffers[i]);
        EXPECT_EQ(CRC16(buffers[i]), r.value("crc").toInt());

        // Python enciphered it; our chaining decryption gives the plain bytes back, in place too.
        const QByteArray enciphered = QByteArray::fromHex(r.value("tea").toString().toLatin1());
        std::vector<uint8_t> buffer(enciphered.begin(), enciphered.end());
        ASSERT_EQ(buffer.size(), buffers[i].size());
        cipher.TEADecryptBuffer(buffer, buffer);
        EXPECT_EQ(std::string(buffer.begin(), buffer.end()), buffers[i]);
    }
}

TEST(CrashboxCodecs, Crc16KnownValues)
{
    EXPECT_EQ(CRC16(""), 0);
    EXPECT_EQ(CRC16("abc"), 0x9DD6);
    EXPECT_EQ(CRC16("123456789"), 0x31C3);
}

TEST(CrashboxCodecs, CipherBlockRoundTripAndDecryptionOfTwelveBytes)
{
    TTEACipher cipher("secret");
    TTEACipher::TBlock block{1, 2, 3, 4, 5, 6, 7, 8}, copy = block;
    cipher.TEAEncryptBlock(block.data(), block.data());
    EXPECT_NE(block, copy);
    cipher.TEADecryptBlock(block.data(), block.data());
    EXPECT_EQ(block, copy);

    // 12 bytes: one chained block and a 4-byte tail XORed with the encrypted chain.
    const std::string plain = "twelve bytes";
    std::vector<uint8_t> cipherText(12);
    TTEACipher::TBlock chain;
    chain.fill(TTEACipher::kInitialVectorByte);
    TTEACipher::TBlock first;
    for (int i = 0; i < 8; ++i)
        first[i] = uint8_t(plain[i]) ^ chain[i];
    cipher.TEAEncryptBlock(first.data(), cipherText.data());
    TTEACipher::TBlock tailKey;
    cipher.TEAEncryptBlock(cipherText.data(), tailKey.data());
    for (int i = 0; i < 4; ++i)
        cipherText[8 + i] = uint8_t(plain[8 + i]) ^ tailKey[i];
    std::vector<uint8_t> out(12);
    cipher.TEADecryptBuffer(cipherText, out);
    EXPECT_EQ(std::string(out.begin(), out.end()), plain);
}

struct Base64Case {
    const char* text;
    std::size_t decodedLength;
    const char* decoded;
};

class Base64Decoding : public ::testing::TestWithParam<Base64Case> {};

TEST_P(Base64Decoding, LengthAndBytes)
{
    const Base64Case& c = GetParam();
    EXPECT_EQ(Base64DecodedLength(c.text), c.decodedLength);
    EXPECT_EQ(Base64DecodeStr(c.text), std::string(c.decoded, c.decodedLength));
}

INSTANTIATE_TEST_SUITE_P(CrashboxCodecs, Base64Decoding,
                         ::testing::Values(Base64Case{"", 0, ""}, Base64Case{"QUJD", 3, "ABC"},
                                           Base64Case{"QUI=", 2, "AB"}, Base64Case{"QQ==", 1, "A"},
                                           // not a multiple of 4: nothing
                                           Base64Case{"QUJDR", 0, ""},
                                           // characters outside the alphabet give bytes, never a failure
                                           Base64Case{"Q!==", 1, "C"}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(CrashboxCodecs, Base64OfShortTexts)
{
    EXPECT_EQ(Base64EncodeStr(""), "");
    EXPECT_EQ(Base64EncodeStr("ab"), "YWI=");
    EXPECT_EQ(Base64EncodedLength(0), 0u);
    EXPECT_EQ(Base64EncodedLength(4), 8u);
}
