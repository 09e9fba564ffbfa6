#include "suite/lemmatiser.h"

#include <QFile>
#include <QFileInfo>
#include <QDebug>

#include <algorithm>

#include "suite/text_codec.h"

namespace cv {

namespace {

constexpr int kProgressEvery = 256;

bool hasWildcard(QStringView s) { return s.contains(u'*') || s.contains(u'?'); }

bool isTurkic(uint32_t languageId)
{
    const uint32_t primary = languageId & 0x3FF;
    return primary == 0x1F || primary == 0x2C; // Turkish, Azeri
}

// Splits text into lines at CR LF, LF or a lone CR; a final line end adds no line.
QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\n' || c == u'\r') {
            lines << text.mid(start, i - start);
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

} // namespace

bool WildcardMatches(QStringView pattern, QStringView word)
{
    // Greedy matching with one back-track point for the last "*": linear in
    // practice and never exponential.
    qsizetype p = 0, w = 0, starP = -1, starW = 0;
    while (w < word.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || (pattern[p] != u'*' && pattern[p] == word[w]))) {
            ++p;
            ++w;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starW = w;
        } else if (starP >= 0) {
            p = starP + 1;
            w = ++starW;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

struct TLemmatiser::List {
    struct Head {
        QString head;
        QStringList forms;
    };

    QString fileName;
    bool caseSensitive = false;
    bool turkic = false;
    bool wildcards = true;
    QStringList lines;                 // entries in file order (lemma lines rebuilt as "head -> forms")
    QHash<QString, int> plain;         // folded entry -> index in lines
    std::vector<QString> patterns;     // folded wildcard entries
    std::vector<Head> heads;           // lemma list
    QHash<QString, int> headIndex;     // folded head -> index in heads
    QHash<QString, int> formHead;      // folded form -> index in heads
    std::vector<std::pair<QString, int>> formPatterns;

    QString fold(QStringView s) const
    {
        if (caseSensitive)
            return s.toString();
        if (!turkic)
            return s.toString().toCaseFolded();
        QString t = s.toString();
        t.replace(QChar(0x0130), u'i').replace(u'I', QChar(0x0131));
        return t.toCaseFolded();
    }

    bool isPattern(QStringView s) const { return wildcards && hasWildcard(s); }

    void addEntry(const QString& entry)
    {
        const QString key = fold(entry);
        if (isPattern(entry)) {
            if (std::find(patterns.begin(), patterns.end(), key) == patterns.end()) {
                patterns.push_back(key);
                lines << entry;
            }
        } else if (!plain.contains(key)) {
            plain.insert(key, int(lines.size()));
            lines << entry;
        }
    }

    void addLemma(const QString& head, const QStringList& forms)
    {
        const QString headKey = fold(head);
        int h = headIndex.value(headKey, -1);
        if (h < 0) {
            h = int(heads.size());
            heads.push_back({head, {}});
            headIndex.insert(headKey, h);
        }
        for (const QString& form : forms) {
            const QString key = fold(form);
            if (key == headKey)
                continue;
            if (isPattern(form)) {
                formPatterns.emplace_back(key, h);
            } else {
                // A form listed under two head words stays with the first.
                if (formHead.contains(key))
                    continue;
                formHead.insert(key, h);
            }
            heads[std::size_t(h)].forms << form;
        }
    }

    int headOf(const QString& word) const
    {
        const QString key = fold(word);
        if (auto it = headIndex.constFind(key); it != headIndex.constEnd())
            return it.value();
        if (auto it = formHead.constFind(key); it != formHead.constEnd())
            return it.value();
        for (const auto& [pattern, h] : formPatterns)
            if (WildcardMatches(pattern, key))
                return h;
        return -1;
    }

    bool found(const QString& word) const
    {
        if (!heads.empty())
            return headOf(word) >= 0;
        const QString key = fold(word);
        if (plain.contains(key))
            return true;
        for (const QString& pattern : patterns)
            if (WildcardMatches(pattern, key))
                return true;
        return false;
    }

    int entryCount() const { return heads.empty() ? int(lines.size()) : int(heads.size()); }
};

TLemmatiser& TLemmatiser::Instance()
{
    static TLemmatiser instance;
    return instance;
}

TLemmatiser::TLemmatiser() = default;

TLemmatiser::Slot& TLemmatiser::slot(uint8_t tool, TLemmatiserListKind kind)
{
    return m_slots[int(tool) * 4 + int(kind)];
}

const TLemmatiser::Slot* TLemmatiser::findSlot(uint8_t tool, TLemmatiserListKind kind) const
{
    const auto it = m_slots.constFind(int(tool) * 4 + int(kind));
    return it == m_slots.constEnd() ? nullptr : &it.value();
}

std::shared_ptr<const TLemmatiser::List> TLemmatiser::listOf(uint8_t tool, TLemmatiserListKind kind) const
{
    const Slot* s = findSlot(tool, kind);
    return s ? s->list : nullptr;
}

uint16_t TLemmatiser::LoadedOne(uint8_t tool, TLemmatiserListKind kind, const QString& fileName,
                                const TListSettingsRec& settings, const TLemmatiserLineCount& onLineCount,
                                const TLemmatiserProgress& onProgress, uint32_t languageId, TListCase caseSensitivity,
                                uint8_t loadFlag)
{
    const bool asLines = loadFlag == kLoadLines;
    const uint64_t myGeneration = ++slot(tool, kind).generation;
    const uint64_t myCancels = slot(tool, kind).cancels;
    // A load that does not succeed leaves the slot empty, unless a newer load
    // or a clear has taken the slot over meanwhile.
    const auto failed = [&]() -> uint16_t {
        Slot& s = slot(tool, kind);
        if (s.generation == myGeneration) {
            if (asLines) {
                s.lines.reset();
                s.linesAreCurrent = false;
            } else {
                s.list.reset();
            }
        }
        return 0;
    };
    if (uint8_t(kind) > 3 || fileName.isEmpty())
        return failed();

    QFile file(fileName);
    if (!file.exists())
        return failed();
    if (file.size() > kMaxFileBytes) {
        qWarning().noquote() << QStringLiteral("List file \"%1\" is larger than %2 bytes; not loaded").arg(fileName).arg(kMaxFileBytes);
        return failed();
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, file.errorString());
        return failed();
    }
    const QByteArray bytes = file.readAll();
    file.close();
    const QStringList rawLines = splitLines(DecodeText(bytes, LCIDToCodePage(languageId)));

    if (onLineCount)
        onLineCount(int(std::min<qsizetype>(rawLines.size(), INT32_MAX)), fileName);
    const auto cancelled = [&] {
        const Slot& s = slot(tool, kind);
        return s.generation != myGeneration || s.cancels != myCancels;
    };
    if (cancelled())
        return failed();

    auto list = std::make_shared<List>();
    list->fileName = fileName;
    list->caseSensitive = caseSensitivity == TListCase::AsSettings ? settings.CaseSensitive()
                                                                   : caseSensitivity == TListCase::Sensitive;
    list->turkic = isTurkic(languageId);
    list->wildcards = settings.WildcardsAllowed();
    const QString comment = settings.CommentStart();
    const QString lemmaSep = settings.LemmaSeparator().isEmpty() ? QStringLiteral("->") : settings.LemmaSeparator();
    const QString formSep = settings.FormSeparator();

    for (qsizetype i = 0; i < rawLines.size(); ++i) {
        if (i % kProgressEvery == kProgressEvery - 1 && onProgress) {
            onProgress(int(i + 1));
            if (cancelled())
                return failed();
        }
        if (asLines)
            continue;
        const QString line = rawLines[i].trimmed();
        if (line.isEmpty() || (!comment.isEmpty() && line.startsWith(comment)))
            continue;
        if (kind == TLemmatiserListKind::Lemma) {
            const qsizetype at = line.indexOf(lemmaSep);
            const QString head = (at < 0 ? line : line.left(at)).trimmed();
            if (head.isEmpty())
                continue;
            QStringList forms;
            if (at >= 0) {
                const QString rest = line.mid(at + lemmaSep.size());
                for (const QString& f : formSep.isEmpty() ? QStringList{rest} : rest.split(formSep))
                    if (const QString t = f.trimmed(); !t.isEmpty())
                        forms << t;
            }
            list->addLemma(head, forms);
        } else if (formSep.isEmpty()) {
            list->addEntry(line);
        } else {
            for (const QString& part : line.split(formSep))
                if (const QString t = part.trimmed(); !t.isEmpty())
                    list->addEntry(t);
        }
    }
    if (onProgress)
        onProgress(int(std::min<qsizetype>(rawLines.size(), INT32_MAX)));
    if (cancelled())
        return failed();

    if (kind == TLemmatiserListKind::Lemma && !asLines)
        for (const auto& h : list->heads)
            list->lines << (h.forms.isEmpty() ? h.head : h.head + QStringLiteral(" -> ") + h.forms.join(QStringLiteral(", ")));

    const qsizetype count = asLines ? rawLines.size() : qsizetype(list->entryCount());
    if (count == 0)
        return failed();
    Slot& s = slot(tool, kind);
    if (asLines) {
        s.lines = std::make_shared<const QStringList>(rawLines);
        s.linesAreCurrent = true;
    } else {
        s.list = std::move(list);
        s.linesAreCurrent = false;
    }
    return uint16_t(std::min<qsizetype>(count, 0xFFFF));
}

void TLemmatiser::ClearOne(uint8_t tool, TLemmatiserListKind kind)
{
    Slot& s = slot(tool, kind);
    ++s.generation;
    s.list.reset();
    s.lines.reset();
    s.linesAreCurrent = false;
}

void TLemmatiser::CancelOne(uint8_t tool, TLemmatiserListKind kind) { ++slot(tool, kind).cancels; }

void TLemmatiser::ClearAll()
{
    for (auto it = m_slots.begin(); it != m_slots.end(); ++it) {
        ++it->generation;
        it->list.reset();
        it->lines.reset();
        it->linesAreCurrent = false;
    }
}

bool TLemmatiser::IsLoaded(uint8_t tool, TLemmatiserListKind kind) const { return listOf(tool, kind) != nullptr; }

int TLemmatiser::EntryCount(uint8_t tool, TLemmatiserListKind kind) const
{
    const auto l = listOf(tool, kind);
    return l ? l->entryCount() : 0;
}

QString TLemmatiser::LoadedFileName(uint8_t tool, TLemmatiserListKind kind) const
{
    const auto l = listOf(tool, kind);
    return l ? l->fileName : QString();
}

bool TLemmatiser::FoundInTheList(uint8_t tool, TLemmatiserListKind kind, const QString& word) const
{
    const auto l = listOf(tool, kind);
    return l && l->found(word);
}

int TLemmatiser::LemmaPairEntriesAltogether(uint8_t tool) const
{
    const auto l = listOf(tool, TLemmatiserListKind::Lemma);
    return l ? int(l->heads.size()) : 0;
}

QString TLemmatiser::LemmaHeadWords(uint8_t tool, int index) const
{
    const auto l = listOf(tool, TLemmatiserListKind::Lemma);
    if (!l || index < 0 || std::size_t(index) >= l->heads.size())
        return {};
    return l->heads[std::size_t(index)].head;
}

QStringList TLemmatiser::LemmaVariantsOf(uint8_t tool, const QString& head) const
{
    const auto l = listOf(tool, TLemmatiserListKind::Lemma);
    if (!l)
        return {};
    const int h = l->headIndex.value(l->fold(head), -1);
    return h < 0 ? QStringList() : l->heads[std::size_t(h)].forms;
}

QString TLemmatiser::LemmaHeadOf(uint8_t tool, const QString& word) const
{
    const auto l = listOf(tool, TLemmatiserListKind::Lemma);
    if (!l)
        return {};
    const int h = l->headOf(word);
    return h < 0 ? QString() : l->heads[std::size_t(h)].head;
}

bool TLemmatiser::TraverseLemmasDoing(uint8_t tool, const TLemmatiserLemmaVisitor& visit) const
{
    const auto l = listOf(tool, TLemmatiserListKind::Lemma); // kept alive even if the slot is cleared meanwhile
    const Slot* s = findSlot(tool, TLemmatiserListKind::Lemma);
    if (!l || !s || !visit)
        return false;
    const uint64_t generation = s->generation, cancels = s->cancels;
    for (std::size_t i = 0; i < l->heads.size(); ++i) {
        if (!visit(l->heads[i].head, l->heads[i].forms, int(i)))
            return false;
        const Slot* now = findSlot(tool, TLemmatiserListKind::Lemma);
        if (!now || now->generation != generation || now->cancels != cancels)
            return false;
    }
    return true;
}

bool TLemmatiser::TraverseListDoing(uint8_t tool, TLemmatiserListKind kind, const TLemmatiserLineVisitor& visit) const
{
    const Slot* s = findSlot(tool, kind);
    if (!s || !visit)
        return false;
    std::shared_ptr<const QStringList> lines;
    if (s->linesAreCurrent)
        lines = s->lines;
    else if (s->list)
        lines = std::shared_ptr<const QStringList>(s->list, &s->list->lines);
    if (!lines || lines->isEmpty())
        return false;
    const uint64_t generation = s->generation, cancels = s->cancels;
    for (qsizetype i = 0; i < lines->size(); ++i) {
        if (!visit(lines->at(i), int(i + 1)))
            return false;
        const Slot* now = findSlot(tool, kind);
        if (!now || now->generation != generation || now->cancels != cancels)
            return false;
    }
    return true;
}

bool TLemmatiser::TraverseMatchesDoing(uint8_t tool, const TLemmatiserLineVisitor& visit) const
{
    return TraverseListDoing(tool, TLemmatiserListKind::Match, visit);
}

bool TLemmatiser::TraverseStopsDoing(uint8_t tool, const TLemmatiserLineVisitor& visit) const
{
    return TraverseListDoing(tool, TLemmatiserListKind::Stop, visit);
}

bool TLemmatiser::TraverseRelationsDoing(uint8_t tool, const TLemmatiserLineVisitor& visit) const
{
    return TraverseListDoing(tool, TLemmatiserListKind::RelationWords, visit);
}

QStringList TLemmatiser::LoadedLines(uint8_t tool, TLemmatiserListKind kind) const
{
    QStringList out;
    TraverseListDoing(tool, kind, [&](const QString& line, int) {
        out << line;
        return true;
    });
    return out;
}

} // namespace cv
