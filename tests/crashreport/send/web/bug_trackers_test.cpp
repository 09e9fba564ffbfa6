// The three tracker uploaders against fake sites (tracker_sites.py) that
// expect each request's page, query, fields in order, files and session
// cookie, for a new bug, an existing bug whose count goes up, a closed bug
// and a refused login.
#include "crashreport/send/web/bug_trackers.h"

#include "send_test_connection.h"
#include "support/test_support.h"
#include "crashreport/send/web_servers.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using cvtest::RecordingConnection;

struct TrackerCase {
    const char* kind;
    const char* scenario;
    cv::TSendResult result;
    int requests;
};

std::ostream& operator<<(std::ostream& out, const TrackerCase& c) { return out << c.kind << "/" << c.scenario; }

cv::THTTPSendReportClass ReportClassOf(const std::string& kind)
{
    if (kind == "mantis")
        return cv::SendReportClass<cv::THTTPMantisSendReport>();
    if (kind == "bugzilla")
        return cv::SendReportClass<cv::THTTPBugzillaSendReport>();
    return cv::SendReportClass<cv::THTTPFogBugzSendReport>();
}

class TrackerPost : public testing::TestWithParam<TrackerCase> {
protected:
    void SetUp() override
    {
        if (!cvtest::haveDebianPython())
            GTEST_SKIP() << "no /usr/bin/python3";
        cv::SetWebTimeouts({5000, 10000});
        log = dir.file(QStringLiteral("tracker.log"));
        server = cvtest::StartTrackerSite(QString::fromLatin1(GetParam().kind), QString::fromLatin1(GetParam().scenario), log);
        ASSERT_TRUE(server->started()) << server->error().toStdString();
    }
    void TearDown() override { cv::SetWebTimeouts({}); }

    cv::TBugReportInputs Inputs() const
    {
        cv::TBugReportInputs in;
        in.Version = "2.0";
        in.ExceptionClass = "EAccessViolation";
        in.ExceptionID = "AB12";
        in.ErrorMessage = "Access violation at address 0";
        in.Project = "Crash Project";
        in.Category = "Reports";
        in.AssignTo = std::string(GetParam().kind) == "mantis" ? "dev one" : "";
        in.UserName = "reporter";
        in.Password = "secret pw";
        in.URL = cvtest::ConnectionURL("http", "127.0.0.1", "tracker", server->port());
        in.AttachedFile = dir.write(QStringLiteral("BugReport.zip"), QByteArray("PK\3\4 report")).toStdString();
        in.WebFields = {"customer=ACME", "FogBugzTrialID=TRIAL-1", "EL_OSType=Linux", "EL_OSBuild=6.1",
                        "EL_ReproduceText=Open a file.\r\nClick twice."};
        return in;
    }

    cvtest::TempDir dir;
    QString log;
    std::unique_ptr<cvtest::LocalServer> server;
};

TEST_P(TrackerPost, FollowsTheTrackersPages)
{
    std::vector<RecordingConnection::State> states;
    cv::THTTPResponse response;
    const cv::TSendResult result = cv::PostBugReport(RecordingConnection::Class(&states), ReportClassOf(GetParam().kind),
                                                     Inputs(), response);
    EXPECT_EQ(result, GetParam().result) << response.HTML;
    const QJsonArray requests = cvtest::readRequestLog(log);
    for (const QJsonValue& request : requests) {
        const QJsonArray errors = request.toObject().value(QStringLiteral("errors")).toArray();
        for (const QJsonValue& error : errors)
            ADD_FAILURE() << request.toObject().value(QStringLiteral("page")).toString().toStdString() << ": "
                          << error.toString().toStdString();
    }
    EXPECT_EQ(requests.size(), GetParam().requests);
    ASSERT_GE(states.size(), 5u);
    EXPECT_EQ(states[0].first, cv::ssConnecting);
    EXPECT_EQ(states[1].first, cv::ssConnected);
    EXPECT_EQ(states[2].first, cv::ssLogin);
    EXPECT_EQ(states.back().first, cv::ssDisconnected);
    const bool reported = std::any_of(states.begin(), states.end(), [](const auto& s) { return s.first == cv::ssSent; });
    EXPECT_EQ(reported, result == cv::srOK) << "only the request that carries the report shows its progress";
}

INSTANTIATE_TEST_SUITE_P(
    Sites, TrackerPost,
    testing::Values(TrackerCase{"mantis", "new", cv::srOK, 8}, TrackerCase{"mantis", "existing", cv::srOK, 9},
                    TrackerCase{"mantis", "closed", cv::srBugClosed, 7},
                    TrackerCase{"mantis", "badlogin", cv::srInvalidLogin, 2},
                    TrackerCase{"bugzilla", "new", cv::srOK, 5}, TrackerCase{"bugzilla", "existing", cv::srOK, 4},
                    TrackerCase{"bugzilla", "closed", cv::srBugClosed, 3},
                    TrackerCase{"bugzilla", "badlogin", cv::srInvalidLogin, 1},
                    TrackerCase{"fogbugz", "new", cv::srOK, 4}, TrackerCase{"fogbugz", "notoken", cv::srOK, 4},
                    TrackerCase{"fogbugz", "existing", cv::srOK, 4},
                    TrackerCase{"fogbugz", "closed", cv::srBugClosed, 3},
                    TrackerCase{"fogbugz", "badlogin", cv::srInvalidLogin, 1}),
    [](const testing::TestParamInfo<TrackerCase>& info) {
        return std::string(info.param.kind) + "_" + info.param.scenario;
    });

TEST(PostBugReport, AConnectionThatCannotBeMadePassesItsError)
{
    cv::TBugReportInputs in;
    in.URL = "http:///";
    cv::THTTPResponse response;
    try {
        cv::PostBugReport(RecordingConnection::Class(), cv::SendReportClass<cv::THTTPMantisSendReport>(), in, response);
        FAIL() << "no host, no connection";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot create an HTTP connection with the host: ");
    }
}

} // namespace
