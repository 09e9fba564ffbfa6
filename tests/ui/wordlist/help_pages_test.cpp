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
        // the topic of "no words" wherever it stands among the arguments: NoWordsIn(names, 4565, why)
        QRegularExpression(QStringLiteral("\\bNoWordsIn\\([^,;]*,\\s*(\\d{4,5})\\b")),
        // the loaded list's window, a caption and a topic by kind: {"%s: stop list loaded, %d entries", 2670}
        QRegularExpression(QStringLiteral("\\{\"%s: [^\"]*\",\\s*(\\d{4,5})\\}")),
        // messages and dialogs asked with a topic written out: OKToDoX(text, 1234)
        QRegularExpression(QStringLiteral(
            "\\b(?:OKToDoX|DoYouWantToDoX|ReportedAFact|WarnAboutAndASKOK|WarnAboutAndRecommend|NoWordsIn|InputValue|"
            "ThreeWaySort|Execute|GetAlternative|SetParams|SetHelpContextNumber)\\([^;]*?,\\s*(\\d{4})\\s*\\)")),
    };
    std::set<int> topics;
    // The documents' rooms ask too (a word list of texts without words).
    for (const QString& folder : {QStringLiteral("src/ui"), QStringLiteral("src/suite"), QStringLiteral("src/gui"),
                                  QStringLiteral("src/controller"), QStringLiteral("src/model"),
                                  QStringLiteral("src/wordlist"), QStringLiteral("src/index"),
                                  QStringLiteral("src/concordance"), QStringLiteral("src/keywords")}) {
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


// What each help topic is about, in the words the heading of its section
// must hold: the window, page or dialog that asks for the topic, as the
// user meets it. A topic the code asks for with no line here fails, so a
// new Help button is given its section on purpose.
const std::map<int, QString>& SectionOfTopic()
{
    static const std::map<int, QString> sections = {
        {1000, QStringLiteral("word-list window")},   // F1 with nothing under the mouse
        {1100, QStringLiteral("start wizard")},
        {1120, QStringLiteral("notes")},              // the notes page
        {1242, QStringLiteral("mixed formats")},      // WarnAboutAndRecommend after a word list
        {1270, QStringLiteral("computed columns")},
        {1300, QStringLiteral("tool bar")},           // the typing tool bar
        {1320, QStringLiteral("layout")},             // the columns dialog
        {1322, QStringLiteral("freezing rows")},
        {1324, QStringLiteral("reduce to n")},        // AskReduceToN's input dialog
        {1326, QStringLiteral("edit data")},          // InputForGrid's input dialog
        {1343, QStringLiteral("print preview")},
        {1360, QStringLiteral("save as")},
        {1420, QStringLiteral("filenames")},          // the filenames page and its search and replace
        {1460, QStringLiteral("search & replace")},
        {1570, QStringLiteral("clipboard")},
        {1950, QStringLiteral("set column")},
        {2650, QStringLiteral("lemma list")},         // the loaded list's window, by kind
        {2660, QStringLiteral("match list")},
        {2670, QStringLiteral("stop list")},
        {2700, QStringLiteral("word-list window")},   // Help > Corvantis Help
        {2720, QStringLiteral("auto-join")},
        {2730, QStringLiteral("batch")},
        {2740, QStringLiteral("compare two word lists")},
        {2760, QStringLiteral("detailed consistency")},
        {2800, QStringLiteral("index choices")},
        {2830, QStringLiteral("relationship choices")}, // also the relationships' words from a file
        {2850, QStringLiteral("statistics")},
        {2910, QStringLiteral("cluster choices")},    // also the clusters' words from a file
        {2920, QStringLiteral("more texts")},
        {2930, QStringLiteral("equal")},
        {4380, QStringLiteral("status bar")},
        {4560, QStringLiteral("word list")},          // the word-list pages
        {4565, QStringLiteral("no words")},           // a word list of texts that gave no words
        {4680, QStringLiteral("relationships")},      // the relations page and its sort
        {4730, QStringLiteral("breakdown")},
        {5270, QStringLiteral("join clusters")},
        {5290, QStringLiteral("key words")},
        {5300, QStringLiteral("key-word plots")},
        {5310, QStringLiteral("key-word links")},
        {5330, QStringLiteral("texts of a row")},
        {5360, QStringLiteral("consistency relations")},
        {5390, QStringLiteral("language")},
        {5440, QStringLiteral("export from index")},
        {5460, QStringLiteral("breakdown")},
        {5470, QStringLiteral("breakdown")},
        {5510, QStringLiteral("moving-window plots")},
        {5520, QStringLiteral("word clouds")},
        {5530, QStringLiteral("text viewer")},
        {5540, QStringLiteral("which texts a word is in")}, // the Details window
        {5610, QStringLiteral("colour categories")},
        {5690, QStringLiteral("reverse deletion")},
        {5850, QStringLiteral("active set column")},
        {6040, QStringLiteral("info on scores")},
        {6130, QStringLiteral("relative entropy")},
    };
    return sections;
}

// The text of the element of a page that carries the id (its heading, or
// the cell or paragraph the id marks), mark-up dropped, in lower case.
QString SectionHeading(const QString& page, const QString& id)
{
    const QRegularExpression element(
        QStringLiteral("<(\\w+)[^>]*\\bid=\"%1\"[^>]*>(.*?)</\\1>").arg(QRegularExpression::escape(id)),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = element.match(page);
    if (!m.hasMatch())
        return {};
    QString text = m.captured(2);
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text.simplified().toLower();
}

// Calls that ask for help with no topic (0) or with a message routine's
// default, which belongs to another window: "file:line: call" for each.
QStringList CallsWithoutTheirOwnTopic(const QString& sourceDir)
{
    const QRegularExpression zeroTopic(
        QStringLiteral("\\b(?:InputValue|Execute|GetAlternative|SetParams|SetHelpContextNumber|ShowHelpTopic)\\([^;]*?,\\s*0\\s*\\)"));
    const QRegularExpression noWordsIn(QStringLiteral("\\bNoWordsIn\\(([^;]*)\\);"));
    QStringList found;
    QDirIterator it(QDir(sourceDir).filePath(QStringLiteral("src")), {QStringLiteral("*.cpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString text = ReadAll(file);
        const auto where = [&](qsizetype at) {
            return QStringLiteral("%1:%2").arg(QDir(sourceDir).relativeFilePath(file)).arg(text.left(at).count(u'\n') + 1);
        };
        for (const auto& m : zeroTopic.globalMatch(text))
            found << where(m.capturedStart()) + QStringLiteral(": ") + m.captured(0);
        for (const auto& m : noWordsIn.globalMatch(text))
            if (!m.captured(1).contains(u',') && !file.endsWith(QStringLiteral("dialog_routines.cpp")))
                found << where(m.capturedStart()) + QStringLiteral(": ") + m.captured(0);
    }
    return found;
}

TEST_F(WordListWindowTest, EveryHelpTopicLandsOnTheSectionAboutItsWindowOrDialog)
{
    const QString help = QStringLiteral(CV_HELP_DIR);
    const QString index = ReadAll(QDir(help).filePath(QStringLiteral("index.html")));
    ASSERT_FALSE(index.isEmpty()) << "the help pages are built beside the programs";

    // No Help button leads nowhere, or to the page of another window.
    const QStringList withoutTopic = CallsWithoutTheirOwnTopic(QStringLiteral(CV_SOURCE_DIR));
    EXPECT_TRUE(withoutTopic.isEmpty()) << withoutTopic.join(u'\n').toStdString();

    std::set<int> topics = TopicsInSources(QStringLiteral(CV_SOURCE_DIR));
    TopicsOfControls(window.get(), topics);
    topics.insert(cv::MainPageHelpContext(cv::current_tool_var));
    topics.insert(1000);
    // The walk reads the code as meant: the topics of the buttons mended here are among those found.
    for (int known : {1324, 1326, 2660, 2670, 4565, 2830})
        EXPECT_TRUE(topics.count(known)) << known;

    const std::map<int, QString> map = TopicMap(index);
    const std::map<int, QString>& sections = SectionOfTopic();
    for (int topic : topics) {
        SCOPED_TRACE(topic);
        const auto about = sections.find(topic);
        ASSERT_NE(about, sections.end()) << "help topic " << topic << " has no section named in this test";
        const auto row = map.find(topic);
        ASSERT_NE(row, map.end()) << "no row for help topic " << topic << " in the help's topic table";
        const QUrl target(row->second);
        ASSERT_TRUE(target.hasFragment()) << row->second.toStdString();
        const QString page = ReadAll(QDir(help).filePath(target.path()));
        const QString heading = SectionHeading(page, target.fragment());
        EXPECT_TRUE(heading.contains(about->second))
            << row->second.toStdString() << " is headed \"" << heading.toStdString() << "\", not about \""
            << about->second.toStdString() << "\"";
    }
    // Every line here is a topic the code asks for: none is kept for a button that is gone.
    for (const auto& [topic, words] : sections)
        EXPECT_TRUE(topics.count(topic)) << topic << " (" << words.toStdString() << ") is asked for nowhere";
}

} // namespace
