// The help answers: every help topic the program can ask for (a help
// button, F1 on a page or window, a message's Help button, the Help menu)
// leads to a page of the help that is built beside the programs, through
// the address the program opens and the controller's server of the pages.
//
// The topics are gathered where the program's code states them (the help
// constants, the topics given to windows, pages and message routines), so
// that a new topic without a page fails here, and from the controls of the
// window as it stands.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <map>
#include <set>

#include "controller/help_server.h"
#include "gui/desktop_services.h"
#include "suite/cvbuf.h"
#include "ui/framework/multi_tool_base.h"
#include "ui/framework/tool_data_module.h"
#include "wordlist_window_testutil.h"

namespace {

using wordlist_window_test::WordListWindowTest;

QString ReadAll(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The numbers (four digits and more) a piece of code gives as help topics.
void AddNumbers(const QString& text, std::set<int>& out)
{
    static const QRegularExpression number(QStringLiteral("\\b(\\d{4,5})\\b"));
    for (const auto& m : number.globalMatch(text))
        out.insert(m.captured(1).toInt());
}

// Every help topic the sources of the program name, by the ways the code
// states one.
std::set<int> TopicsInSources(const QString& sourceDir)
{
    const QList<QRegularExpression> patterns = {
        // constexpr int kHelpSaveAs = 1360;  static constexpr int kInfoHelpContext = 6040;
        QRegularExpression(QStringLiteral("\\bk(?!Tag|Image|Msg)\\w*Help\\w*\\s*=\\s*(\\d+)")),
        // the help requests themselves: PostHelpRequest(1234), ShowHelpTopic(x ? 5470 : 5460)
        QRegularExpression(QStringLiteral("\\b(?:PostHelpRequest|ShowHelpTopic|HandleAHelpFileChoice)\\(([^;]*)\\);")),
        // topics given to controls and windows
        QRegularExpression(QStringLiteral("\"helpContext\",\\s*(\\d+)")),
        QRegularExpression(QStringLiteral("\\bSet(?:Window)?Help(?:Context)?\\(\\w+,\\s*(\\d+)\\)")),
        // the pages' topics: {AdvOfficePageStatistics, 2850}
        QRegularExpression(QStringLiteral("\\{AdvOfficePage\\w+,\\s*(\\d+)\\}")),
        // default topics of message routines
        QRegularExpression(QStringLiteral("\\bint helpContext\\s*=\\s*(\\d+)")),
        // messages and dialogs asked with a topic written out: OKToDoX(text, 1234)
        QRegularExpression(QStringLiteral(
            "\\b(?:OKToDoX|DoYouWantToDoX|ReportedAFact|WarnAboutAndASKOK|WarnAboutAndRecommend|NoWordsIn|InputValue|"
            "ThreeWaySort|Execute|GetAlternative|SetParams|SetHelpContextNumber)\\([^;]*?,\\s*(\\d{4})\\s*\\)")),
    };
    std::set<int> topics;
    for (const QString& folder : {QStringLiteral("src/ui"), QStringLiteral("src/suite"), QStringLiteral("src/gui"),
                                  QStringLiteral("src/controller")}) {
        QDirIterator it(QDir(sourceDir).filePath(folder), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString text = ReadAll(it.next());
            for (const QRegularExpression& p : patterns)
                for (const auto& m : p.globalMatch(text))
                    AddNumbers(m.captured(1), topics);
        }
    }
    return topics;
}

// The help topics of the controls of a window and its children.
void TopicsOfControls(const QWidget* top, std::set<int>& out)
{
    const int own = cv::HelpContextOf(top);
    if (own > 0)
        out.insert(own);
    for (const QWidget* w : top->findChildren<QWidget*>())
        if (const int t = cv::HelpContextOf(w); t > 0)
            out.insert(t);
}

// The help's map of topics: number to the page (and the place in it) its
// row in the contents leads to.
std::map<int, QString> TopicMap(const QString& index)
{
    static const QRegularExpression row(
        QStringLiteral("<tr id=\"context-(\\d+)\">.*?<a href=\"([^\"]+)\""),
        QRegularExpression::DotMatchesEverythingOption);
    std::map<int, QString> map;
    for (const auto& m : row.globalMatch(index))
        map[m.captured(1).toInt()] = m.captured(2);
    return map;
}

// The status and body of the server's answer to a GET of the address.
std::pair<int, QString> Get(const QUrl& url, const QString& root)
{
    const QByteArray target = url.path(QUrl::FullyEncoded).toUtf8() +
                              (url.hasQuery() ? "?" + url.query(QUrl::FullyEncoded).toUtf8() : QByteArray());
    const QByteArray answer = cv::THelpServer::Answer("GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n", root);
    const QList<QByteArray> status = answer.left(answer.indexOf('\r')).split(' ');
    const qsizetype body = answer.indexOf("\r\n\r\n");
    return {status.value(1).toInt(), QString::fromUtf8(answer.mid(body + 4))};
}

TEST_F(WordListWindowTest, EveryHelpTopicTheProgramAsksForOpensAPageOfTheBuiltHelp)
{
    const QString help = QStringLiteral(CV_HELP_DIR);
    ASSERT_TRUE(QFileInfo(QDir(help).filePath(QStringLiteral("index.html"))).isFile())
        << "the help pages are built beside the programs";

    std::set<int> topics = TopicsInSources(QStringLiteral(CV_SOURCE_DIR));
    // The sources were read as meant: these come from several of the ways.
    for (int known : {1343, 1360, 2850, 2920, 4380, 5470, 5510, 6040, 2910})
        EXPECT_TRUE(topics.count(known)) << known;
    TopicsOfControls(window.get(), topics);
    topics.insert(cv::MainPageHelpContext(cv::current_tool_var)); // Help > Corvantis Help
    topics.insert(1000);                                           // F1 with nothing under the mouse
    ASSERT_GE(topics.size(), 40u);

    // What the program opens for each: mode 1, the served address.
    cv::SetCVHelpAccessMode(1);
    cv::SetCVHelpBaseAddress(QStringLiteral("http://127.0.0.1:40000/"));
    cv::TScriptedDesktop desktop;
    cv::TDesktopServiceGuard guard(&desktop);
    const auto ownModule = std::make_unique<cv::TDataModuleCorvantis>();
    cv::TDataModuleCorvantis* module = cv::DataModuleCorvantis();
    ASSERT_EQ(module, ownModule.get());

    const auto [indexStatus, index] = Get(QUrl(QStringLiteral("http://127.0.0.1:40000/index.html")), help);
    ASSERT_EQ(indexStatus, 200);
    const std::map<int, QString> map = TopicMap(index);
    for (int topic : topics) {
        SCOPED_TRACE(topic);
        module->HandleAHelpFileChoice(topic);
        ASSERT_FALSE(desktop.Opened().empty());
        const QUrl asked = desktop.Opened().back();
        EXPECT_EQ(asked.toString(), QStringLiteral("http://127.0.0.1:40000/index.html?contextid=%1").arg(topic));
        // The server answers with the contents, whose map knows the topic ...
        const auto [status, page] = Get(asked, help);
        ASSERT_EQ(status, 200);
        EXPECT_TRUE(page.contains(QStringLiteral("id=\"context-%1\"").arg(topic)));
        const auto found = map.find(topic);
        ASSERT_NE(found, map.end()) << "no page for help topic " << topic;
        // ... and leads to a page that has the place it names.
        const QUrl target = asked.resolved(QUrl(found->second));
        const auto [targetStatus, targetPage] = Get(target, help);
        EXPECT_EQ(targetStatus, 200) << target.toString().toStdString();
        if (target.hasFragment())
            EXPECT_TRUE(targetPage.contains(QStringLiteral("id=\"%1\"").arg(target.fragment())))
                << target.toString().toStdString();
    }
}

} // namespace
