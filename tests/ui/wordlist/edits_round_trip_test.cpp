// Every list the window saves opens again as it was saved, whatever the
// user did to it first: random sequences of the user's edits (delete,
// restore, zap, sorts, an edited word, joins and unjoins, Reduce to N, a
// lemma list applied, undo and redo) on the word list of real texts (the
// sample corpus, else texts made here), each followed by Save and a
// reading of the file; and the same for cluster lists of an index, key
// words and a detailed-consistency list. The list read must pass every
// check of the reader, save again to the very same bytes, and show what
// the window showed (ranks, head words' texts and dispersion among it).
// Seeded and a fixed number of steps: the same walk every run.

#include "wordlist_commands_testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "index/index_files.h"
#include "index/index_handler.h"
#include "suite/cv_stream.h"
#include "suite/lemmatiser.h"
#include "ui/framework/list_editing.h"
#include "wordlist/detailed_consistency.h"
#include "wordlist/keyword_list.h"

namespace wordlist_window_test {
namespace {

using cv::TDialogAnswer;

// The input dialogs (Edit data, Reduce to N) answered from a queue.
class TQueuedInputs final : public cv::TListEditingDialogs {
public:
    TQueuedInputs() : m_previous(cv::SetListEditingDialogs(this)) {}
    ~TQueuedInputs() override { cv::SetListEditingDialogs(m_previous); }
    void Queue(const QString& value) { m_values.push_back(value); }
    bool InputValue(const QString&, const QString&, QString& value, int) override
    {
        if (m_values.empty())
            return false;
        value = m_values.front();
        m_values.erase(m_values.begin());
        return true;
    }
    bool EditSetColumn(QString&, uint32_t&, bool&) override { return false; }
    bool ThreeWaySort(const cv::TCVBaseDataClass&, int, int, int, cv::TThreeWaySortChoice&) override { return false; }
    void ShowLemmaShower(const QString&, const QStringList&, const QStringList&) override {}

private:
    std::vector<QString> m_values;
    cv::TListEditingDialogs* m_previous;
};

// What a user sees of a word list's entry, besides what is saved of it.
struct TEntrySeen {
    QString word, tag;
    cv::TWordlistDataRec data;
    bool deleted = false;
    int mark = 0;
    QStringList forms;
    int64_t freq = 0;
    double texts = 0, dispersion = 0;
    friend bool operator==(const TEntrySeen&, const TEntrySeen&) = default;
};

std::vector<TEntrySeen> SeenOf(const cv::TCVWordList& l)
{
    std::vector<TEntrySeen> out;
    out.reserve(std::size_t(l.Count()));
    for (int i = 0; i < l.Count(); ++i) {
        const cv::TWordListEntry& e = l.Entry(i);
        TEntrySeen s{e.fWord, e.fTag, l.WordlistData(i), l.GetDeleted(i), e.Mark()};
        for (int j = 0; j < e.JoinedCount(); ++j)
            s.forms << e.JoinedEntry(j)->MainWordOnly();
        s.freq = l.CorrectFreq(i);
        s.texts = l.NumericalData(i, cv::TCVWordList::kColTexts);
        s.dispersion = l.DispersionShown(i);
        out.push_back(std::move(s));
    }
    return out;
}

QByteArray StreamOf(cv::TCVBaseDataClass& list)
{
    cv::TMemoryStream m;
    EXPECT_TRUE(list.SaveToStream(m));
    return cvtest::toBytes(m.Bytes());
}

class EditsRoundTripTest : public WordListCommandsTest {
protected:
    void SetUp() override
    {
        WordListCommandsTest::SetUp();
        window->show();
        // The window asks nothing before a list goes (the walk saves what it wants).
        cv::TGeneralSettingsRec g = cv::GetGeneralSettings();
        g.SetAskWhetherToSaveModifiedData(false);
        cv::SetGeneralSettings(g);
    }
    void TearDown() override
    {
        cv::TLemmatiser::Instance().ClearAll();
        WordListCommandsTest::TearDown();
    }

    // The texts of the walk: a tenth of the sample corpus, else texts made here.
    QStringList Texts()
    {
        const QString corpus = qEnvironmentVariable("CV_SAMPLE_CORPUS");
        QStringList files;
        if (!corpus.isEmpty())
            for (const QFileInfo& f : QDir(corpus).entryInfoList(QDir::Files, QDir::Name))
                if (files.size() < 10)
                    files << f.absoluteFilePath();
        if (!files.isEmpty())
            return files;
        std::mt19937 words(7);
        const QStringList vocabulary = QStringLiteral("the a cat cats dog dogs run ran runs running sea ship whale "
                                                      "go goes went gone of and to in it was were be is")
                                           .split(u' ');
        for (int t = 0; t < 6; ++t) {
            QString text;
            for (int w = 0; w < 400 + 50 * t; ++w)
                text += vocabulary[int(words() % uint32_t(vocabulary.size()))] + (w % 11 == 10 ? QStringLiteral(". ") : QStringLiteral(" "));
            files << Text(QStringLiteral("made/text%1.txt").arg(t), text);
        }
        return files;
    }

    // Selects grid rows (from 1), the first current in that column.
    static void SelectRows(cv::TCV_Grid& grid, const std::vector<int>& rows, int column = 1)
    {
        auto* selection = grid.View()->selectionModel();
        selection->clearSelection();
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const QModelIndex at = grid.Proxy()->index(rows[k] - 1, column);
            if (k == 0)
                grid.View()->setCurrentIndex(at);
            selection->select(at, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    std::vector<int> RandomRows(const cv::TCV_Grid& grid, int most)
    {
        std::vector<int> rows;
        const int n = grid.RowCount() - 1;
        if (n < 1)
            return rows;
        const int k = 1 + int(rng() % uint32_t(std::min(most, n)));
        while (int(rows.size()) < k) {
            const int r = 1 + int(rng() % uint32_t(n));
            if (std::find(rows.begin(), rows.end(), r) == rows.end())
                rows.push_back(r);
        }
        return rows;
    }
    // A random word of the list (as a lemma list names it).
    QString RandomWord(const cv::TCVWordList& l)
    {
        return l.Count() > 0 ? l.Entry(int(rng() % uint32_t(l.Count()))).fWord : QStringLiteral("word");
    }

    // A lemma list of these lines loaded for the tool, as the settings load it.
    void LoadList(const QString& lines)
    {
        const QString name = Text(QStringLiteral("lemmas.txt"), lines);
        ASSERT_GT(cv::TLemmatiser::Instance().LoadedOne(cv::kToolWordList, cv::TLemmatiserListKind::Lemma, name,
                                                         cv::TListSettingsRec::Defaults(), {}, {}, 0x0809),
                  0);
        cv::Global_stopLemmaMatchLoaded[uint8_t(cv::TLemmatiserListKind::Lemma)] = true;
    }

    // Save (as the user saves: the file named the first time), then the
    // file read by a document of its own: every check passed, the same bytes
    // saved again, the lists as the window shows them.
    void SaveAndCompare(const QString& what, int step)
    {
        SCOPED_TRACE((what + QStringLiteral(", step %1").arg(step)).toStdString());
        cv::TCV_Grid* grid = CurrentGrid();
        ASSERT_NE(grid, nullptr);
        if (Doc()->MainFile.FileName.isEmpty() || !QFileInfo(Doc()->MainFile.FileName).isFile())
            files.QueueAnswer(dir.file(what + QStringLiteral(".lst")));
        ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Save)) << "Save";
        const QString file = Doc()->MainFile.FileName;
        ASSERT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
        cv::T_WholeWordlistHolder read(Doc()->MainFile.ListType, nullptr, nullptr, false, false);
        ASSERT_EQ(read.ReadWholeFromFile(file, cv::kToolWordList) & 0xFF, 1) << read.LastReadError().toStdString();
        EXPECT_EQ(read.WordlistOfType(cv::kListWordList)->RanksRenumberedOnReading(), 0);
        const QByteArray saved = cvtest::readAll(file);
        cv::TMemoryStream again;
        ASSERT_TRUE(read.SaveToStream(again));
        EXPECT_TRUE(cvtest::toBytes(again.Bytes()) == saved) << "saved again, the file read is not the same";
        for (const uint8_t type : {cv::kListWordList, cv::kListIndexWordList})
            if (const cv::TCVWordList* shown = Doc()->WordlistOfType(type); shown && type == cv::kListWordList)
                EXPECT_TRUE(SeenOf(*read.WordlistOfType(type)) == SeenOf(*shown)) << "the word list read differs";
        if (Doc()->fKeywordsList && Doc()->fKeywordsList->Count() > 0)
            EXPECT_EQ(StreamOf(*read.fKeywordsList), StreamOf(*Doc()->fKeywordsList));
        if (Doc()->fDetailedConsistencyList && Doc()->fDetailedConsistencyList->Count() > 0)
            EXPECT_EQ(StreamOf(*read.fDetailedConsistencyList), StreamOf(*Doc()->fDetailedConsistencyList));
    }

    // Edits a list of any kind takes: delete, restore, zap, a sort by a
    // column, undo, redo.
    void EditAnyList(cv::TCV_Grid& grid, int kind)
    {
        switch (kind) {
        case 0:
            SelectRows(grid, RandomRows(grid, 5));
            grid.HandleGridCommand(cv::TMenuCommand::Delete);
            break;
        case 1: { // Restore deleted: rows deleted before, and others
            std::vector<int> rows = RandomRows(grid, 3);
            for (int row = 1; row < grid.RowCount() && rows.size() < 8; ++row)
                if (const int entry = grid.EntryOfGridRow(row); entry >= 0 && grid.List()->GetDeleted(entry))
                    rows.push_back(row);
            std::sort(rows.begin(), rows.end());
            rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
            SelectRows(grid, rows);
            grid.HandleGridCommand(cv::TMenuCommand::RestoreDeleted);
            break;
        }
        case 2:
            grid.HandleGridCommand(cv::TMenuCommand::Zap);
            break;
        case 3: {
            const int column = 1 + int(rng() % uint32_t(std::max(1, grid.ColCount() - 1)));
            window->SortByColumn(&grid, column);
            break;
        }
        case 4:
            MenuCommand(cv::TMenuCommand::Undo);
            break;
        default: // Undo twice, Redo once
            MenuCommand(cv::TMenuCommand::Undo);
            MenuCommand(cv::TMenuCommand::Undo);
            MenuCommand(cv::TMenuCommand::Redo);
            break;
        }
        QApplication::processEvents();
    }

    TQueuedInputs inputs;
    std::mt19937 rng{53};
};

TEST_F(EditsRoundTripTest, AWordListSavedAfterAnyEditsOpensAsItWasSaved)
{
    const QStringList texts = Texts();
    for (const QString& f : texts)
        ASSERT_TRUE(window->ChosenTexts->ToolAddAFile(f));
    Request(cv::kListWordList);
    ASSERT_NE(Words(), nullptr);
    ASSERT_GT(Words()->Count(), 20);
    ASSERT_NE(Words()->PartCounts(), nullptr);
    int lemmaLists = 0, edited = 0;
    // The kinds of edit in a random order, each once a round: every kind is made.
    constexpr int kKinds = 13;
    std::vector<int> kinds;
    std::set<int> changedTheList;
    for (int step = 0; step < 4 * kKinds; ++step) {
        if (kinds.empty()) {
            for (int k = 0; k < kKinds; ++k)
                kinds.push_back(k);
            std::shuffle(kinds.begin(), kinds.end(), rng);
        }
        const int kind = kinds.back();
        kinds.pop_back();
        // Every few steps the list saved is opened in the window and edited from there.
        if (step % 6 == 5)
            OpenSaved(Doc()->MainFile.FileName);
        const QByteArray before = StreamOf(*Doc()->WordlistOfType(cv::kListWordList));
        cv::TCV_Grid* grid = Show(rng() % 4 == 0 ? window->AdvOfficePageFrequency : window->AdvOfficePageAlph);
        switch (kind) {
        case 6: { // an edited word
            SelectRows(*grid, RandomRows(*grid, 1), cv::TCVWordList::kColWord);
            inputs.Queue(QStringLiteral("edited%1").arg(++edited));
            grid->HandleGridCommand(cv::TMenuCommand::EditData);
            break;
        }
        case 7:
        case 8: // a join of a few rows (F4)
            SelectRows(*grid, RandomRows(*grid, 4));
            grid->HandleGridCommand(cv::TMenuCommand::JoinRows);
            break;
        case 9: { // an unjoin of a head word, or all of them
            const cv::TCVWordList& l = *Words();
            int head = -1;
            for (int i = 0; i < l.Count() && head < 0; ++i)
                if (l.Entry(i).JoinedCount() > 0)
                    head = i;
            if (head >= 0 && rng() % 3 != 0) {
                for (int row = 1; row < grid->RowCount(); ++row)
                    if (grid->EntryOfGridRow(row) == head)
                        SelectRows(*grid, {row});
                grid->HandleGridCommand(cv::TMenuCommand::Unjoin);
            } else {
                grid->HandleGridCommand(cv::TMenuCommand::UnjoinAll);
            }
            break;
        }
        case 10: // Reduce to N: nine in ten of the rows stay
            inputs.Queue(QString::number(std::max(1, (grid->RowCount() - 1) * 9 / 10)));
            dialogs.QueueAnswer(TDialogAnswer::Yes); // keep only so many
            grid->HandleGridCommand(cv::TMenuCommand::ReduceToN);
            break;
        case 11: { // a lemma list applied: a head word of the list or one absent, two forms of it
            const cv::TCVWordList& l = *Words();
            const QString head = rng() % 2 ? RandomWord(l) : QStringLiteral("lemma%1").arg(++lemmaLists);
            const QString lines = head + QStringLiteral(" -> ") + RandomWord(l) + QStringLiteral(", ") + RandomWord(l);
            LoadList(lines);
            MenuCommand(cv::TMenuCommand::LemmaMatches);
            break;
        }
        case 12: // another sort of the Edit menu
            MenuCommand(TagOf(cv::TMenuCommand::SortAlphabetical) + int(rng() % 3)); // or by word endings, by length
            break;
        default:
            EditAnyList(*grid, kind);
            break;
        }
        QApplication::processEvents();
        if (StreamOf(*Doc()->WordlistOfType(cv::kListWordList)) != before)
            changedTheList.insert(kind);
        SaveAndCompare(QStringLiteral("words"), step);
        if (HasFatalFailure())
            return;
    }
    // The walk did what it says: each kind of edit changed the list at least once.
    for (int k = 0; k < kKinds; ++k)
        EXPECT_TRUE(changedTheList.count(k)) << "edit " << k << " never changed the list";
}

TEST_F(EditsRoundTripTest, ClustersKeyWordsAndConsistencySavedAfterEditsOpenAsTheyWereSaved)
{
    const QStringList texts = Texts().mid(0, 4);
    // Two-word clusters of an index of the texts.
    cv::TCVFileDetails chosen(true, {});
    for (const QString& f : texts)
        ASSERT_TRUE(chosen.ToolAddAFile(f));
    QString error;
    ASSERT_TRUE(cv::MakeIndexOfTexts(chosen, dir.file(QStringLiteral("corpus")), cv::kIndexOpenNew, &error)) << error.toStdString();
    QApplication::processEvents();
    OpenIndex(dir.file(QStringLiteral("corpus")));
    cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
    s.SetClusterSizeMin(2);
    s.SetClusterSizeMax(2);
    s.SetMinShowFrequency(2);
    s.SetOmitPhraseFrames(true);
    s.SetClusterListsPerText(false);
    cv::SetWordlistIndexSettings(s);
    ASSERT_TRUE(Show(window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Clusters));
    ASSERT_GT(Words()->Count(), 10);
    // Each phase changes its list on most of its steps.
    int changes = 0;
    const auto changed = [&](cv::TCVBaseDataClass& list, const QByteArray& before) {
        changes += StreamOf(list) != before ? 1 : 0;
    };
    for (int step = 0; step < 12; ++step) {
        cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
        const QByteArray before = StreamOf(*Doc()->WordlistOfType(cv::kListWordList));
        if (step % 4 == 3) {
            SelectRows(*grid, RandomRows(*grid, 3));
            grid->HandleGridCommand(cv::TMenuCommand::JoinRows); // clusters joined by hand
        } else {
            EditAnyList(*grid, int(rng() % 6));
        }
        changed(*Doc()->WordlistOfType(cv::kListWordList), before);
        SaveAndCompare(QStringLiteral("clusters"), step);
        if (HasFatalFailure())
            return;
    }
    EXPECT_GE(changes, 6);

    // Key words of a text about whales against a list of everyday words.
    window->CloseData(true);
    KeyWordsOfOneText();
    ASSERT_NE(Doc()->fKeywordsList, nullptr);
    ASSERT_GE(Doc()->fKeywordsList->Count(), 3);
    // The lists of other kinds: edits a list of any kind takes, on its page.
    const auto walkPage = [&](QWidget* page, const std::function<cv::TCVBaseDataClass&()>& list, const QString& what) {
        int changes = 0;
        for (int step = 0; step < 10; ++step) {
            const QByteArray before = StreamOf(list());
            EditAnyList(*Show(page), int(rng() % 6));
            changes += StreamOf(list()) != before ? 1 : 0;
            SaveAndCompare(what, step);
            if (HasFatalFailure())
                return;
        }
        EXPECT_GE(changes, 4) << what.toStdString();
    };
    walkPage(window->AdvOfficePageKWs, [&]() -> cv::TCVBaseDataClass& { return *Doc()->fKeywordsList; },
             QStringLiteral("keywords"));
    if (HasFatalFailure())
        return;

    // The detailed consistency of the study list and the reference.
    choices.consistencyFiles = {dir.file(QStringLiteral("study.lst")), dir.file(QStringLiteral("reference.lst"))};
    Request(cv::kListDetailedConsistency);
    ASSERT_NE(Doc()->fDetailedConsistencyList, nullptr);
    ASSERT_GT(Doc()->fDetailedConsistencyList->Count(), 5);
    walkPage(window->AdvOfficePageConsistency,
             [&]() -> cv::TCVBaseDataClass& { return *Doc()->fDetailedConsistencyList; }, QStringLiteral("consistency"));
}

} // namespace
} // namespace wordlist_window_test
