#include "gui/speech.h"

#include <gtest/gtest.h>

#include <QTextToSpeech>

namespace {

TEST(Speaker, ItSpeaksThroughTheDesktopEngineOrSaysWhyItCannot)
{
    cv::TQtSpeaker speaker;
    if (!speaker.Available()) {
        // No voice here: nothing is said, and the reason names what is missing.
        EXPECT_FALSE(speaker.Say(QStringLiteral("cat 3")));
        EXPECT_FALSE(speaker.LastError().isEmpty());
        EXPECT_EQ(speaker.LinesSaid(), 0);
        GTEST_SKIP() << speaker.LastError().toStdString();
    }
    EXPECT_TRUE(speaker.Say(QStringLiteral("cat 3")));
    EXPECT_EQ(speaker.LinesSaid(), 1);
    // A second line cuts the first short; an empty one is not read.
    EXPECT_TRUE(speaker.Say(QStringLiteral("dog 2")));
    EXPECT_FALSE(speaker.Say(QStringLiteral("   ")));
    EXPECT_EQ(speaker.LinesSaid(), 2);
    speaker.Stop();
}

TEST(Speaker, AnEngineThatDoesNotExistIsNoVoice)
{
    cv::TQtSpeaker speaker(QStringLiteral("no-such-engine"));
    EXPECT_FALSE(speaker.Available());
    EXPECT_FALSE(speaker.Say(QStringLiteral("cat")));
    EXPECT_FALSE(speaker.LastError().isEmpty());
}

} // namespace
