// A help page that is not there: the server answers 404 with a page in the
// help's style that names what was asked for and leads to the contents.

#include "controller/help_not_found.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

#include "controller/help_server.h"
#include "support/test_support.h"

namespace {

QByteArray HeadersOf(const QByteArray& answer) { return answer.left(answer.indexOf("\r\n\r\n")); }
QByteArray BodyOf(const QByteArray& answer) { return answer.mid(answer.indexOf("\r\n\r\n") + 4); }

qsizetype ContentLength(const QByteArray& answer)
{
    const QRegularExpression length(QStringLiteral("\r\nContent-Length: (\\d+)\r\n"));
    const auto m = length.match(QString::fromLatin1(HeadersOf(answer) + "\r\n"));
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

class HelpNotFound : public ::testing::Test {
protected:
    void SetUp() override
    {
        pages = dir.file(QStringLiteral("help"));
        ASSERT_TRUE(QDir().mkpath(pages));
        dir.write(QStringLiteral("help/index.html"), "<html>contents</html>");
    }
    QByteArray Ask(const QByteArray& method, const QByteArray& target) const
    {
        return cv::THelpServer::Answer(method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", pages);
    }
    cvtest::TempDir dir;
    QString pages;
};

TEST_F(HelpNotFound, AMissingPageIsAPageOfTheHelpThatLeadsToTheContents)
{
    const struct {
        QByteArray target, up;
    } asked[] = {{"/missing.html", ""}, {"/sub/folder/gone.html?contextid=5", "../../"}};
    for (const auto& [target, up] : asked) {
        SCOPED_TRACE(target.toStdString());
        const QByteArray answer = Ask("GET", target);
        EXPECT_TRUE(answer.startsWith("HTTP/1.0 404 Not Found\r\n"));
        EXPECT_TRUE(HeadersOf(answer).contains("\r\nContent-Type: text/html; charset=utf-8"));
        const QByteArray body = BodyOf(answer);
        EXPECT_EQ(ContentLength(answer), body.size());
        // In the help's style, with links that climb back to the help's folder
        // (whose address holds the run's key) from the folder asked for.
        EXPECT_TRUE(body.contains("<link rel=\"stylesheet\" href=\"" + up + "style.css\">")) << body.toStdString();
        EXPECT_TRUE(body.contains("<a href=\"" + up + "index.html\">contents</a>"));
        EXPECT_TRUE(body.contains("<h1>Page not found</h1>"));
        // It names the path asked for, without the query.
        const QString path = QString::fromLatin1(target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?')));
        EXPECT_TRUE(body.contains(("<code>" + path + "</code>").toUtf8())) << body.toStdString();
        EXPECT_FALSE(body.contains("contextid"));
    }
    // A file that exists is still served as it is.
    EXPECT_TRUE(Ask("GET", "/index.html").startsWith("HTTP/1.0 200 OK"));
}

TEST_F(HelpNotFound, WhatThePathHoldsIsShownAsTextNeverAsMarkUp)
{
    const QByteArray body = BodyOf(Ask("GET", "/%3Cscript%3Ealert(1)%3C/script%3E%26%22.html"));
    EXPECT_FALSE(body.contains("<script>"));
    EXPECT_TRUE(body.contains("&lt;script&gt;alert(1)&lt;/script&gt;&amp;&quot;.html")) << body.toStdString();
    EXPECT_EQ(cv::HelpNotFoundPage(QStringLiteral("/a<b>.html")).count("<b>"), 0);
}

TEST_F(HelpNotFound, AHeadRequestGetsTheHeadersAlone)
{
    const QByteArray answer = Ask("HEAD", "/missing.html");
    EXPECT_TRUE(answer.startsWith("HTTP/1.0 404 Not Found\r\n"));
    EXPECT_TRUE(BodyOf(answer).isEmpty());
    EXPECT_EQ(ContentLength(answer), cv::HelpNotFoundPage(QStringLiteral("/missing.html")).size());
}

} // namespace
