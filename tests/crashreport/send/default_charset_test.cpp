#include "crashreport/send/default_charset.h"

#include <gtest/gtest.h>

#include <QByteArray>

using namespace cv;

namespace {

TEST(DefaultCharset, EncodingsGiveTheirScriptsCharacterSet)
{
    EXPECT_EQ(CharsetOfCodeset("ANSI_X3.4-1968"), ANSI_CHARSET);
    EXPECT_EQ(CharsetOfCodeset("iso-8859-1"), ANSI_CHARSET);
    EXPECT_EQ(CharsetOfCodeset("ISO-8859-2"), 238);
    EXPECT_EQ(CharsetOfCodeset("koi8-r"), 204);
    EXPECT_EQ(CharsetOfCodeset("CP1251"), 204);
    EXPECT_EQ(CharsetOfCodeset("EUC-JP"), 128);
    EXPECT_EQ(CharsetOfCodeset("GB18030"), 134);
    EXPECT_EQ(CharsetOfCodeset("UTF-8"), DEFAULT_CHARSET);
    EXPECT_EQ(CharsetOfCodeset(""), DEFAULT_CHARSET);
}

TEST(DefaultCharset, TheEnvironmentsLocaleDecides)
{
    const QByteArray old = qgetenv("LC_ALL");
    const bool had = qEnvironmentVariableIsSet("LC_ALL");
    qputenv("LC_ALL", "C.UTF-8");
    EXPECT_EQ(GetDefaultCharset(), DEFAULT_CHARSET);
    qputenv("LC_ALL", "C");
    EXPECT_EQ(GetDefaultCharset(), ANSI_CHARSET);
    qputenv("LC_ALL", "xx_NO.SUCH-LOCALE");
    EXPECT_EQ(GetDefaultCharset(), ANSI_CHARSET);
    had ? qputenv("LC_ALL", old) : qunsetenv("LC_ALL");
}

} // namespace
