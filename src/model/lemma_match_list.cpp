#include "model/lemma_match_list.h"

#include "suite/lemmatiser.h"
#include "suite/my_types.h"

#include <QHash>

#include <unordered_set>

namespace cv {

TMatchAction TagToMatchAction(int menuTag)
{
    switch (TMenuCommand(menuTag)) {
    case TMenuCommand::MarkMatches:
        return TMatchAction::MatchAndMark;
    case TMenuCommand::DeleteAllMatched:
        return TMatchAction::DeleteMatches;
    case TMenuCommand::DeleteAllUnmatched:
        return TMatchAction::DeleteNonMatches;
    case TMenuCommand::ClearAllMatches:
        return TMatchAction::RemoveMatchMarking;
    default:
        return TMatchAction::None;
    }
}

int TCVBaseLemmaMatchCapableList::CheckLemmas(bool undoable)
{
    const uint8_t tool = current_tool_var;
    auto& lem = TLemmatiser::Instance();
    if (!lem.IsLoaded(tool, TLemmatiserListKind::Lemma))
        return 0;
    // Entries grouped by the head word they belong to, in list order.
    QHash<QString, std::vector<int>> byHead;
    QStringList headsInOrder;
    for (int i = 0; i < Count(); ++i) {
        const QString word = (*this)[i].MainWordOnly();
        const QString head = lem.LemmaHeadOf(tool, word);
        if (head.isEmpty())
            continue;
        auto& g = byHead[head];
        if (g.empty())
            headsInOrder << head;
        g.push_back(i);
    }
    // The groups by entry (a head made for a group moves the indexes).
    std::vector<std::vector<const TCVBaseListObject*>> groups;
    std::vector<QString> headsToMake; // per group: empty when its head is there
    for (const QString& head : headsInOrder) {
        std::vector<int> g = byHead.value(head);
        // The head word's own entry heads the group: its exact spelling first, else any case.
        auto headAt = g.end();
        for (auto it = g.begin(); it != g.end() && headAt == g.end(); ++it)
            if ((*this)[*it].MainWordAsPointer() == head)
                headAt = it;
        for (auto it = g.begin(); it != g.end() && headAt == g.end(); ++it)
            if ((*this)[*it].MainWordAsPointer().compare(head, Qt::CaseInsensitive) == 0)
                headAt = it;
        if (headAt != g.end())
            std::iter_swap(g.begin(), headAt);
        const bool headThere = headAt != g.end();
        if (headThere ? g.size() < 2 : g.empty())
            continue;
        std::vector<const TCVBaseListObject*> entries;
        for (int i : g)
            entries.push_back(Get(i));
        groups.push_back(std::move(entries));
        headsToMake.push_back(headThere ? QString() : head);
    }
    if (groups.empty())
        return 0;
    BeginUndoStep(QStringLiteral("Lemmas"));
    for (std::size_t k = 0; k < groups.size(); ++k) {
        if (headsToMake[k].isEmpty())
            continue;
        std::unique_ptr<TCVBaseListObject> made = MakeHeadEntry(headsToMake[k]);
        if (!made) {
            groups[k].clear(); // no head: its forms stay as they are
            continue;
        }
        groups[k].insert(groups[k].begin(), made.get());
        InsertPlaced(std::move(made), undoable, QStringLiteral("Lemmas"));
    }
    std::vector<std::vector<int>> byIndex;
    for (const auto& g : groups) {
        if (g.size() < 2)
            continue;
        std::vector<int> indexes;
        for (const TCVBaseListObject* e : g)
            indexes.push_back(IndexOf(e));
        byIndex.push_back(std::move(indexes));
    }
    const int joined = byIndex.empty() ? 0 : JoinGroups(byIndex, undoable, QStringLiteral("Lemmas"));
    EndUndoStep();
    return joined;
}

int TCVBaseLemmaMatchCapableList::CheckStops()
{
    const uint8_t tool = current_tool_var;
    auto& lem = TLemmatiser::Instance();
    if (!lem.IsLoaded(tool, TLemmatiserListKind::Stop))
        return 0;
    return RemoveIf([&](const TCVBaseListObject& e) {
        return lem.FoundInTheList(tool, TLemmatiserListKind::Stop, e.MainWordOnly());
    });
}

int TCVBaseLemmaMatchCapableList::CheckMatches(int menuTag)
{
    const TMatchAction action = TagToMatchAction(menuTag);
    if (action == TMatchAction::None)
        return 0;
    const uint8_t tool = current_tool_var;
    auto& lem = TLemmatiser::Instance();
    int n = 0;
    BeginUndoStep(QStringLiteral("Matches"));
    if (action == TMatchAction::RemoveMatchMarking) {
        for (int i = 0; i < Count(); ++i)
            if ((*this)[i].MatchMark() != 0) {
                SetMatchMark(i, 0, true);
                ++n;
            }
    } else if (lem.IsLoaded(tool, TLemmatiserListKind::Match)) {
        for (int i = 0; i < Count(); ++i) {
            const bool found = lem.FoundInTheList(tool, TLemmatiserListKind::Match, (*this)[i].MainWordOnly());
            if (found)
                ++n;
            switch (action) {
            case TMatchAction::MatchAndMark:
                if (found)
                    SetMatchMark(i, 1, true);
                break;
            case TMatchAction::DeleteMatches:
                if (found)
                    SetDeleted(i, true, true);
                break;
            case TMatchAction::DeleteNonMatches:
                if (!found)
                    SetDeleted(i, true, true);
                break;
            default:
                break;
            }
        }
    }
    EndUndoStep();
    return n;
}

int TCVBaseLemmaMatchCapableList::RemoveDuplicates()
{
    // Only entries with the same main word are compared; the first of each kind stays.
    QHash<QString, std::vector<const TCVBaseListObject*>> seen;
    std::unordered_set<const TCVBaseListObject*> dup;
    for (int i = 0; i < Count(); ++i) {
        const TCVBaseListObject& e = (*this)[i];
        auto& kept = seen[e.MainWordOnly()];
        bool isDup = false;
        for (const TCVBaseListObject* k : kept)
            if (e.IsDuplicateOf(*k)) {
                isDup = true;
                break;
            }
        if (isDup)
            dup.insert(&e);
        else
            kept.push_back(&e);
    }
    if (dup.empty())
        return 0;
    const int n = RemoveIf([&](const TCVBaseListObject& e) { return dup.count(&e) > 0; });
    Touched();
    return n;
}

bool TCVBaseLemmaMatchCapableList::MergeWith(TCVBaseLemmaMatchCapableList& other)
{
    if (&other == this)
        return false;
    for (int i = 0; i < other.Count(); ++i) {
        auto copy = CloneEntry(other[i]);
        if (!copy)
            return false;
        Add(std::move(copy));
    }
    Touched();
    return true;
}

} // namespace cv
