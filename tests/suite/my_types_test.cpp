#include "suite/my_types.h"

#include <gtest/gtest.h>

TEST(MyTypes, ToolTableByNumber)
{
    EXPECT_EQ(cv::current_tool_var, cv::kToolWordList);
    EXPECT_EQ(cv::Tool_Name(cv::kToolController), QStringLiteral("Controller"));
    EXPECT_EQ(cv::GetShortToolFilename(cv::kToolController), QStringLiteral("corvantis-controller"));
    EXPECT_TRUE(cv::ToolProgramFile(cv::kToolController).endsWith(QStringLiteral("/corvantis-controller")));
    for (int t = 0; t < cv::kToolCount; ++t)
        EXPECT_EQ(cv::ToolInfo(uint8_t(t)).number, t);
    EXPECT_EQ(cv::ToolInfo(200).number, cv::kToolNone);
    EXPECT_TRUE(cv::ToolProgramFile(cv::kToolNone).isEmpty());
}

TEST(MyTypes, CommandLineNamesFindTheirTool)
{
    EXPECT_EQ(cv::ToolFromShortFilename(QStringLiteral("corvantis-wordlist")), cv::kToolWordList);
    EXPECT_EQ(cv::ToolFromShortFilename(QStringLiteral("corvantis-keywords")), cv::kToolKeyWords);
    EXPECT_EQ(cv::ToolFromShortFilename(QStringLiteral("Corvantis-WordList")), cv::kToolNone) << "case-sensitive";
    EXPECT_EQ(cv::ToolFromShortFilename(QString()), cv::kToolNone);
}
