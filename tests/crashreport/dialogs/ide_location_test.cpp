#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "crashreport/dialogs/ide_location.h"
#include "support/test_support.h"

#include <QFile>
#include <QFileInfo>

namespace cv {
namespace {

int32_t Int32At(const TSourceLocationMessage& m, std::size_t at)
{
    return int32_t(uint32_t(m[at]) | uint32_t(m[at + 1]) << 8 | uint32_t(m[at + 2]) << 16 | uint32_t(m[at + 3]) << 24);
}

std::string TextAt(const TSourceLocationMessage& m, std::size_t at)
{
    return std::string(reinterpret_cast<const char*>(&m[at]));
}

TEST(IdeLocation, TheMessageHasItsFieldsAtTheirOffsets)
{
    const TSourceLocationMessage m = EncodeSourceLocationMessage("Unit1", "TForm1", "Button1Click", 123, 4, 45356.5);
    EXPECT_EQ(m.size(), 376u);
    EXPECT_EQ(m[0], 0);
    EXPECT_EQ(TextAt(m, 90), "Unit1");
    EXPECT_EQ(TextAt(m, 180), "TForm1");
    EXPECT_EQ(TextAt(m, 270), "Button1Click");
    EXPECT_EQ(Int32At(m, 360), 123);
    EXPECT_EQ(Int32At(m, 364), 4);
    double date = 0;
    std::memcpy(&date, &m[368], 8); // this machine is little-endian, as the message
    EXPECT_EQ(date, 45356.5);
}

TEST(IdeLocation, LongNamesAreCutTo89Bytes)
{
    const std::string name(200, 'n');
    const TSourceLocationMessage m = EncodeSourceLocationMessage(name, name, name, -1, -1, 0);
    EXPECT_EQ(TextAt(m, 90), std::string(89, 'n'));
    EXPECT_EQ(m[90 + 89], 0);
    EXPECT_EQ(TextAt(m, 270), std::string(89, 'n'));
    EXPECT_EQ(Int32At(m, 364), -1);
}

class IdeSlotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        old = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
    }
    void TearDown() override
    {
        qputenv("XDG_RUNTIME_DIR", old);
        SetIDEProcessTest({});
    }
    cvtest::TempDir dir;
    QByteArray old;
};

TEST_F(IdeSlotTest, WithNobodyListeningNothingIsSentAndNothingWaits)
{
    EXPECT_FALSE(SendLocationToIDE("12", "U", "C", "-1", 0, "P")); // no slot at all
    const std::string slot = LocationSlotName(0);
    ASSERT_EQ(::mkfifo(slot.c_str(), 0600), 0);
    EXPECT_FALSE(SendLocationToIDE("12", "U", "C", "-1", 0, "P")); // a slot nobody reads
    EXPECT_FALSE(SendLocationToIDE("", "U", "C", "-1", 0, "P"));   // no line: nothing to send
}

TEST_F(IdeSlotTest, TheListeningEnvironmentGetsTheMessage)
{
    // The parent is taken for the environment: its slot carries its number.
    SetIDEProcessTest([](int64_t process) { return process == int64_t(getppid()); });
    const std::string slot = LocationSlotName(int64_t(getppid()));
    EXPECT_NE(slot.find(dir.path().toStdString() + "/Crashbox"), std::string::npos);
    ASSERT_EQ(::mkfifo(slot.c_str(), 0600), 0);
    const int reader = ::open(slot.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(SendLocationToIDE("123", "Unit1", "TForm1", "4", 1.5, "Proc"));
    TSourceLocationMessage got{};
    EXPECT_EQ(::read(reader, got.data(), got.size()), 376);
    ::close(reader);
    EXPECT_EQ(got, EncodeSourceLocationMessage("Unit1", "TForm1", "Proc", 123, 4, 1.5));
}

TEST_F(IdeSlotTest, AFileInThePlaceOfTheSlotIsLeftAlone)
{
    const std::string slot = LocationSlotName(0);
    const QString file = QString::fromStdString(slot);
    QFile plain(file);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_FALSE(SendLocationToIDE("7", "U", "C", "x", 0, "P"));
    EXPECT_EQ(QFileInfo(file).size(), 0);
}

// A slot another user made first (in a runtime folder that is no one's
// own, or the temporary folder) hears nothing of where the report points.
TEST_F(IdeSlotTest, AnotherUsersSlotOrARuntimeFolderNotTheUsersIsLeftAlone)
{
    const std::optional<cvtest::OtherUser> other = cvtest::otherUser();
    if (!other)
        GTEST_SKIP() << "needs root to act as a second user";
    const std::string slot = LocationSlotName(0);
    ASSERT_EQ(::mkfifo(slot.c_str(), 0666), 0);
    ASSERT_TRUE(cvtest::giveToOtherUser(*other, QString::fromStdString(slot)));
    const int reader = ::open(slot.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(SendLocationToIDE("123", "Unit1", "TForm1", "4", 1.5, "Proc"));
    char got[8];
    EXPECT_LE(::read(reader, got, sizeof got), 0) << "nothing reached their pipe";
    ::close(reader);
    ASSERT_TRUE(cvtest::giveToOtherUser(*other, dir.path()));
    EXPECT_EQ(LocationSlotName(0).find(dir.path().toStdString()), std::string::npos)
        << "a runtime folder of another user's is not the user's";
}

} // namespace
} // namespace cv
