#include "index/index_handler.h"

#include "files/save_file.h"
#include "index/index_relationships.h"
#include "index/index_spread.h"
#include "model/chosen_files.h"
#include "model/stats_list.h"
#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "textread/tag_handler.h"
#include "wordlist/word_folding.h"
#include "wordlist/wordlist_holder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTextStream>

#include <algorithm>
#include <new>
#include <cmath>

namespace cv {

namespace {

bool HasLetter(std::u16string_view word)
{
    for (char16_t c : word)
        if (QChar(c).isLetter() || QChar(c).isMark())
            return true;
    return false;
}

} // namespace

std::vector<uint8_t> StopListTypes(const TIndexData& index)
{
    std::vector<uint8_t> stop;
    const TLemmatiser& lemmatiser = TLemmatiser::Instance();
    if (!lemmatiser.IsLoaded(current_tool_var, TLemmatiserListKind::Stop))
        return stop;
    stop.assign(index.types.size(), 0);
    for (std::size_t id = 0; id < index.types.size(); ++id)
        stop[id] = FoundInTheList(current_tool_var, TLemmatiserListKind::Stop, index.types[id].word) ? 1 : 0;
    return stop;
}

TIndexHandler::TIndexHandler(T_WholeWordlistHolder* document, const QString& name, uint8_t openingMode)
    : fDocument(document), fMode(openingMode)
{
    fData.base = IndexBaseName(name);
    if (fDocument)
        fData.textSettings = fDocument->ftextsettings;
    ResetTheSettingsFromTextbuf();
}

TIndexHandler::~TIndexHandler() = default;

bool TIndexHandler::Fail(const QString& error)
{
    fError = error;
    fOk = false;
    return false;
}

void TIndexHandler::ResetTheSettingsFromTextbuf()
{
    fSettings = GetWordlistIndexSettings();
}

bool TIndexHandler::LoadedTheFiles()
try {
    fError.clear();
    if (fData.base.isEmpty())
        return Fail(QStringLiteral("No name was given for the index."));
    if (fMode == kIndexOpenNew || fMode == kIndexOpenAdd) {
        const QFileInfo folder(QFileInfo(fData.base).absolutePath());
        if (!folder.isDir())
            return Fail(QStringLiteral("Cannot write index \"%1\": the folder \"%2\" does not exist")
                            .arg(fData.base, folder.filePath()));
        if (!folder.isWritable())
            return Fail(QStringLiteral("Cannot write index \"%1\": the folder \"%2\" cannot be written to")
                            .arg(fData.base, folder.filePath()));
        QString error;
        if (!fWriteLock.Locked() && !fWriteLock.Lock(fData.base, fLockWaitMs, &error))
            return Fail(error);
    }
    const bool exists = IndexFilesExist(fData.base);
    if (fMode == kIndexOpenNew || (fMode == kIndexOpenAdd && !exists)) {
        const QString base = fData.base;
        const TTextSettings settings = fData.textSettings;
        fData = TIndexData();
        fData.base = base;
        fData.textSettings = settings;
        fOk = true;
        return true;
    }
    TIndexData loaded;
    QString error;
    if (!loaded.Load(fData.base, &error, fWriteLock.Locked(), fLoadStep, &fLoadStopped))
        return Fail(error);
    fData = std::move(loaded);
    fOldTokens = fData.tokenCount;
    fOldStreamBytes = fData.streamBytes;
    fOldTypes = fData.types.size();
    fOldTexts = fData.texts.size();
    fOldMarkup = fData.markup.size();
    // New texts are cut as the index's texts were.
    if (fDocument && fMode == kIndexOpenAdd)
        fDocument->TextSettings(fData.textSettings);
    if (fTotalTokens <= 0)
        fTotalTokens = fData.RunningWords();
    fOk = true;
    return true;
} catch (const std::bad_alloc&) {
    fData.types = {};
    fData.texts = {};
    fData.markup = {};
    return Fail(NotEnoughMemoryText(QStringLiteral("open the index \"%1\"").arg(fData.base)));
}

// ---------------------------------------------------------------------------
// Indexing

void TIndexHandler::EnsureWhole() const
{
    if (!fMarkupOnDisk)
        return;
    fMarkupOnDisk = false;
    TIndexData whole;
    QString error;
    if (whole.Load(fData.base, &error))
        fData = std::move(whole);
}

bool TIndexHandler::StartScratch()
{
    // The scratch files live on the disk the index goes to.
    if (fScratchTokens.IsOpen())
        return true;
    const QString folder = QFileInfo(fData.base).absolutePath();
    QString error;
    if (!fScratchTokens.Create(folder, &error) || !fScratchMarkup.Create(folder, &error)
        || !fScratchCounts.Create(folder, &error)) {
        fScratchError = error;
        return false;
    }
    fNewCounts.SpillTo(&fScratchCounts, fMemoryBudget / 4 / sizeof(TTypePartCounts::TRecord));
    fLastMarkupToken = fData.markup.empty() ? 0 : fData.markup.back().token;
    return true;
}

void TIndexHandler::SpillStream()
{
    if (fStreamUsed > 0 && fScratchError.isEmpty() && !fScratchTokens.Append(fNewStream.data(), int64_t(fStreamUsed), &fScratchError))
        return;
    fStreamSpilled += int64_t(fStreamUsed);
    fStreamUsed = 0;
}

void TIndexHandler::AddMarkup(int64_t token, uint8_t level, uint16_t tag)
{
    EncodeIndexMarkup(fNewMarkup, {token, level, tag}, fLastMarkupToken);
    ++fNewMarkupRecords;
    if (fNewMarkup.size() >= fMemoryBudget / 8 && fScratchError.isEmpty()) {
        fScratchMarkup.Append(fNewMarkup.data(), int64_t(fNewMarkup.size()), &fScratchError);
        fNewMarkup.clear();
    }
}

void TIndexHandler::BeginText(int32_t)
{
    StartScratch();
    // Room to count every code the index has: a text added to an index may
    // hold old words only.
    fNewCounts.Grow(fData.types.size() + kIndexFirstTypeCode);
    fNewTexts.push_back({fNewTokens, fStreamSpilled + int64_t(fStreamUsed), fNewNumbers});
    fInText = true;
}

uint32_t TIndexHandler::MapRunType(uint32_t typeId, std::u16string_view spelling, uint16_t tagNumber, bool stop)
{
    // A listed tag of this run is found in the index's tags by its text.
    uint16_t tag = 0;
    const bool useTags = fDocument && fDocument->ftextsettings.TagDisplay() != 0;
    if (useTags && tagNumber > 0) {
        QString text;
        if (fDocument)
            if (const auto* handler = dynamic_cast<const TTextTagHandler*>(fDocument->TextTagHandler))
                if (tagNumber <= handler->TagfileTags().size())
                    text = handler->TagfileTags()[tagNumber - 1u].stored.tag;
        qsizetype at = fData.tagTexts.indexOf(text);
        if (at < 0) {
            fData.tagTexts << text;
            at = fData.tagTexts.size() - 1;
        }
        tag = uint16_t(at + 1);
    }
    const QString word(reinterpret_cast<const QChar*>(spelling.data()), qsizetype(spelling.size()));
    // The types of this run are new to each other; only the index's older types can match.
    int32_t id = fOldTypes > 0 ? fData.FindType(word, tag) : -1;
    if (id < 0) {
        TIndexType t;
        t.word = word;
        t.tag = tag;
        t.flags = uint8_t((HasLetter(spelling) ? 0 : kIndexTypeNumber) | (stop ? kIndexTypeStop : 0));
        fData.types.push_back(std::move(t));
        id = int32_t(fData.types.size() - 1);
        fNewCounts.Grow(fData.types.size() + kIndexFirstTypeCode);
    }
    const uint32_t code = uint32_t(id) + kIndexFirstTypeCode;
    if (typeId >= fRunCodes.size())
        fRunCodes.resize(std::max<std::size_t>(std::size_t(typeId) + 1, fRunCodes.size() * 2), 0);
    fRunCodes[typeId] = code;
    return code;
}

// The code of a word: its type's (mapped at its first word), or what stands
// for a word in no list.
template <typename TSpelling>
inline uint32_t TIndexHandler::CodeOf(uint32_t typeId, bool running, bool stop, uint16_t tagNumber, TSpelling&& spelling)
{
    if (typeId != TWordlistParentTree::kNoType) {
        const uint32_t code = typeId < fRunCodes.size() ? fRunCodes[typeId] : 0;
        return code != 0 ? code : MapRunType(typeId, spelling(), tagNumber, stop);
    }
    if (running)
        return kIndexCodeUnlisted;
    ++fNewNumbers;
    return kIndexCodeNumber;
}

uint8_t* TIndexHandler::StreamRoom(std::size_t words)
{
    // Written through a pointer, a code taking five bytes at most; the
    // stream's room grows in large steps, and only the room a batch may
    // take is made part of it (so memory is touched as it is written).
    // Beyond the budget what was written goes to the scratch file.
    if (fStreamUsed + 5 * words > std::max<std::size_t>(fMemoryBudget / 2, 5 * words))
        SpillStream();
    const std::size_t need = fStreamUsed + 5 * words;
    if (need > fNewStream.capacity())
        fNewStream.reserve(std::max({fNewStream.capacity() * 2, need, std::size_t(1) << 20}));
    if (need > fNewStream.size())
        fNewStream.resize(need);
    return fNewStream.data() + fStreamUsed;
}

void TIndexHandler::PutCodes(std::span<const uint32_t> codes)
{
    // Everything in locals: a byte stored through a pointer could be any
    // member, which would then be read again for the next word.
    uint8_t* out = StreamRoom(codes.size());
    TTypePartCounts::TAdder count(fNewCounts);
    for (uint32_t code : codes) {
        uint32_t v = code;
        while (v >= 0x80) {
            *out++ = uint8_t(v | 0x80);
            v >>= 7;
        }
        *out++ = uint8_t(v);
        if (code >= kIndexFirstTypeCode)
            count(code);
    }
    count.Commit();
    fStreamUsed = std::size_t(out - fNewStream.data());
    fNewTokens += int64_t(codes.size());
}

void TIndexHandler::Token(const TToken& token)
{
    const uint32_t code = CodeOf(token.typeId, token.running, token.stop, token.tagNumber, [&] { return token.spelling; });
    if (token.barrier > 0)
        AddMarkup(fOldTokens + fNewTokens, uint8_t(token.barrier), token.tagNumber);
    PutCodes({&code, 1});
}

void TIndexHandler::Tokens(std::span<const TBatchToken> tokens, TWordlistParentTree& tree)
{
    // The codes first (a type met for the first time is added, which may
    // grow the tables), then the stream and the counts in one tight loop.
    // A type's code is kept with it in the tree and comes back with its words.
    fBatchCodes.resize(tokens.size());
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const TBatchToken& t = tokens[k];
        uint32_t code = t.sinkValue;
        if (code == 0) {
            code = CodeOf(t.typeId, (t.flags & kTokenRunning) != 0, (t.flags & kTokenStop) != 0, t.tagNumber,
                          [&] { return tree.Text(t.typeId); });
            if (t.typeId != TWordlistParentTree::kNoType)
                tree.Type(t.typeId).sinkValue = code;
        }
        fBatchCodes[k] = code;
        if (t.barrier > 0)
            AddMarkup(fOldTokens + fNewTokens + int64_t(k), t.barrier, t.tagNumber);
    }
    PutCodes(fBatchCodes);
}

void TIndexHandler::EndText(int32_t)
{
    fInText = false;
    TNewText& text = fNewTexts.back();
    // They held the tokens and the numbers removed before the text.
    text.tokens = fNewTokens - text.tokens;
    text.runningWords = text.tokens - (fNewNumbers - text.runningWords);
    fNewCounts.EndPart(int32_t(fOldTexts + fNewTexts.size() - 1));
}

bool TIndexHandler::ProcessAfterWordHandling(const QString& notes, double texts)
try {
    (void)texts;
    fError.clear();
    if (fMode == kIndexOpenRead)
        return Fail(QStringLiteral("The index \"%1\" was opened for work, not for adding texts.").arg(fData.base));
    const TCVStatsList* stats = fStats ? fStats : (fDocument ? fDocument->fStats.get() : nullptr);
    std::vector<TStatsRec> rows;
    if (stats)
        for (int i = 1; i < stats->Count(); ++i)
            rows.push_back(stats->Row(i)->Data());
    if (rows.size() != fNewTexts.size())
        return Fail(QStringLiteral("Cannot save index \"%1\": %2 texts were indexed but %3 have statistics")
                        .arg(fData.base)
                        .arg(fNewTexts.size())
                        .arg(rows.size()));
    if (global_panic_state.load() != kPanicRun) {
        fCancel_pressed = true;
        return Fail(QStringLiteral("The index was not saved: the job was stopped."));
    }
    // What is still in memory goes after what was spilled: the new tokens
    // and their markup are read back from their scratch files.
    if (!StartScratch())
        return Fail(QStringLiteral("Cannot save index \"%1\": %2").arg(fData.base, fScratchError));
    SpillStream();
    if (!fNewMarkup.empty() && fScratchError.isEmpty())
        fScratchMarkup.Append(fNewMarkup.data(), int64_t(fNewMarkup.size()), &fScratchError);
    fNewMarkup = {};
    fNewStream = {};
    const QString spillError = !fScratchError.isEmpty() ? fScratchError : fNewCounts.SpillError();
    if (!spillError.isEmpty())
        return Fail(QStringLiteral("Cannot save index \"%1\": %2").arg(fData.base, spillError));
    // The new texts after the old ones; the old markup is moved, not copied
    // (it goes back should the save fail).
    TIndexData d;
    {
        std::vector<TIndexMarkup> oldMarkup = std::move(fData.markup);
        fData.markup = {};
        d = fData;
        d.markup = std::move(oldMarkup);
    }
    auto markupBack = qScopeGuard([&] { fData.markup = std::move(d.markup); });
    for (std::size_t i = 0; i < fNewTexts.size(); ++i) {
        TIndexText t;
        t.stats = rows[i];
        t.firstToken = d.tokenCount;
        t.tokens = fNewTexts[i].tokens;
        t.byteOffset = fOldStreamBytes + fNewTexts[i].byteOffset;
        d.tokenCount += t.tokens;
        d.texts.push_back(std::move(t));
    }
    d.SetNumbersRemoved(d.NumbersRemoved() + fNewNumbers);
    if (fOldTexts == 0)
        d.notes = notes.split(QLatin1Char('\n'));
    else
        d.notes << QString() << QStringLiteral("%1: %2 texts added").arg(QDateTime::currentDateTime().toString(Qt::ISODate)).arg(fNewTexts.size())
                << notes.split(QLatin1Char('\n'));

    // Frequencies, texts and dispersion of every type over the whole index:
    // the counts per text of the new texts were kept as they were indexed,
    // those of the old texts come from the old token file. A one-text index
    // is cut into tenths instead. The parts weigh by their running words,
    // as the word list's and the clusters' parts do.
    const std::size_t codeCount = d.types.size() + kIndexFirstTypeCode;
    const bool oneText = d.texts.size() == 1;
    std::vector<int64_t> partSizes(oneText ? kDispersionPartsOfOneText : d.texts.size(), 0);
    TTypePartCounts oldCounts, tenths;
    TScratchFile oldScratch;
    std::vector<const TTypePartCounts*> sources;
    if (oneText) {
        // The text's codes a piece at a time, from the new tokens' scratch
        // file or from the old token file.
        QString error;
        std::shared_ptr<const TReadOnlyFile> oldTokens = fData.tokensFile;
        if (fOldTexts > 0 && !oldTokens) {
            auto f = std::make_shared<TReadOnlyFile>();
            if (!OpenIndexFile(fData.base, TIndexFileKind::Tokens, *f, &error))
                return Fail(error);
            oldTokens = std::move(f);
        }
        const TFileReader& from = fOldTexts == 0 ? static_cast<const TFileReader&>(fScratchTokens) : *oldTokens;
        const int64_t offset = fOldTexts == 0 ? 0 : kIndexHeaderSize + d.texts[0].byteOffset;
        const int64_t bytes = fOldTexts == 0 ? fStreamSpilled : fOldStreamBytes - d.texts[0].byteOffset;
        tenths.Grow(codeCount);
        const int64_t n = d.texts[0].tokens;
        int64_t i = 0;
        int32_t part = 0;
        const bool decoded = DecodeTokenPieces(
            from, offset, bytes, n, uint32_t(codeCount),
            [&](std::span<const uint32_t> codes) {
                TTypePartCounts::TAdder add(tenths);
                for (const uint32_t code : codes) {
                    const int32_t p = TIndexParts::TenthOf(i++, n);
                    if (p != part) {
                        add.Commit();
                        for (; part < p; ++part)
                            tenths.EndPart(part);
                        add = TTypePartCounts::TAdder(tenths);
                    }
                    if (code >= kIndexFirstTypeCode)
                        add(code);
                    partSizes[std::size_t(p)] += code != kIndexCodeNumber ? 1 : 0;
                }
                add.Commit();
            },
            &error);
        if (!decoded)
            return Fail(fOldTexts == 0 ? QStringLiteral("Cannot save index \"%1\": its new tokens are damaged (%2)").arg(d.base, error)
                                       : error);
        for (; part < kDispersionPartsOfOneText; ++part)
            tenths.EndPart(part);
        sources.push_back(&tenths);
    } else {
        if (fOldTexts > 0) {
            QString error;
            if (!oldScratch.Create(QFileInfo(fData.base).absolutePath(), &error))
                return Fail(QStringLiteral("Cannot save index \"%1\": %2").arg(fData.base, error));
            oldCounts.SpillTo(&oldScratch, fMemoryBudget / 4 / sizeof(TTypePartCounts::TRecord));
            oldCounts.Grow(codeCount);
            bool cancelled = false;
            const bool ok = WalkIndexTexts(
                fData,
                [&](int32_t t, std::span<const uint32_t> codes, std::span<const uint8_t>) {
                    for (uint32_t c : codes)
                        if (c >= kIndexFirstTypeCode)
                            oldCounts.Add(c);
                    oldCounts.EndPart(t);
                    partSizes[std::size_t(t)] += RunningWordsOf(codes);
                    return true;
                },
                &error, &cancelled, 0, int32_t(fOldTexts) - 1);
            if (!ok)
                return Fail(error);
            if (cancelled) {
                fCancel_pressed = true;
                return Fail(QStringLiteral("The index was not saved: the job was stopped."));
            }
            sources.push_back(&oldCounts);
        }
        sources.push_back(&fNewCounts);
        for (std::size_t i = 0; i < fNewTexts.size(); ++i)
            partSizes[fOldTexts + i] = fNewTexts[i].runningWords;
    }
    // What the sums need of a type side by side (the records name types in no order).
    struct TTypeSums {
        TIndexParts::TAcc acc;
        int64_t freq = 0;
        int32_t texts = 0;
    };
    std::vector<TTypeSums> sums(d.types.size());
    auto ahead = [&](uint32_t code) { __builtin_prefetch(&sums[IndexTypeOfCode(code)], 1); };
    // The texts were the whole job's share: the sums and the save show
    // theirs on the task's bar, and the window answers (its Stop, its clock).
    int64_t records = 0;
    for (const TTypePartCounts* c : sources)
        records += int64_t(c->RecordCount());
    TProgressSteps summing(100, 100);
    const int64_t steps = 3 * records + 1;
    int64_t done = 0;
    const auto tick = [&] {
        if (++done % 65536 == 0)
            summing.Step(done, steps);
    };
    const auto stopped = [&] {
        if (summing.Step(done, steps))
            return false;
        fCancel_pressed = true;
        return true;
    };
    for (const TTypePartCounts* c : sources)
        c->ForEach(
            [&](int32_t, uint32_t code, uint32_t count) {
                TTypeSums& t = sums[IndexTypeOfCode(code)];
                t.freq += count;
                ++t.texts;
                tick();
            },
            ahead);
    if (stopped())
        return Fail(QStringLiteral("The index was not saved: the job was stopped."));
    const TIndexParts parts(partSizes);
    for (const TTypePartCounts* c : sources)
        c->ForEach(
            [&](int32_t part, uint32_t code, uint32_t count) {
                TTypeSums& t = sums[IndexTypeOfCode(code)];
                parts.AddCount(t.acc, part, count, double(t.freq));
                tick();
            },
            ahead);
    if (stopped())
        return Fail(QStringLiteral("The index was not saved: the job was stopped."));
    for (std::size_t id = 0; id < d.types.size(); ++id) {
        TIndexType& type = d.types[id];
        TTypeSums& t = sums[id];
        type.freq = t.freq;
        type.texts = oneText ? (t.freq > 0 ? 1 : 0) : t.texts;
        type.dispersion = type.IsStop() ? 0.0f : parts.Finish(t.acc, double(t.freq));
    }
    // A one-text index made in one run: the word list of the run cut the
    // text into tenths by position in the text, which the index does not
    // keep; its values are the index's own.
    if (oneText && fOldTexts == 0 && fDocument)
        if (const TCVWordList* list = fDocument->WordlistOfType(kListIndexWordList))
            for (int i = 0; i < list->Count(); ++i) {
                const TWordListEntry& e = list->Entry(i);
                const uint16_t tag = e.fTag.isEmpty() ? 0 : uint16_t(d.tagTexts.indexOf(e.fTag) + 1);
                const int32_t id = d.FindType(e.fWord, tag);
                if (id >= 0 && e.fData.Dispersion >= 0 && d.types[std::size_t(id)].freq == e.fData.Freq)
                    d.types[std::size_t(id)].dispersion = e.fData.Dispersion;
            }

    for (const TTypePartCounts* c : sources)
        if (!c->SpillError().isEmpty())
            return Fail(QStringLiteral("Cannot save index \"%1\": %2").arg(d.base, c->SpillError()));
    QString error;
    if (!fWriteLock.Locked())
        return Fail(QStringLiteral("Cannot save index \"%1\": its files were not opened for writing").arg(d.base));
    const TIndexAdditions added{TAddedBytes{{}, &fScratchTokens, fStreamSpilled},
                                TAddedBytes{{}, &fScratchMarkup, fScratchMarkup.Size()}, fNewMarkupRecords};
    done += records; // the files are written in about the time of a pass
    if (stopped())
        return Fail(QStringLiteral("The index was not saved: the job was stopped."));
    if (!SaveIndexFiles(d, fOldTexts > 0 ? fData.base : QString(), fOldStreamBytes, added, &error))
        return Fail(error);
    summing.Show(steps, steps);
    fWriteLock.Release();
    markupBack.dismiss();
    // The markup of the new texts is on the disk only: read when asked for.
    fMarkupOnDisk = fNewMarkupRecords > 0;
    fData = std::move(d);
    fStreamUsed = 0;
    fStreamSpilled = 0;
    fNewMarkupRecords = 0;
    fScratchTokens.Close();
    fScratchMarkup.Close();
    fScratchCounts.Close();
    fNewTexts.clear();
    fRunCodes.clear();
    fNewCounts.Clear();
    fOldTokens = fData.tokenCount;
    fOldStreamBytes = fData.streamBytes;
    fOldTypes = fData.types.size();
    fOldTexts = fData.texts.size();
    fOldMarkup = fData.markup.size();
    fNewTokens = fNewNumbers = 0;
    fMode = kIndexOpenRead;
    if (fTotalTokens <= 0)
        fTotalTokens = fData.RunningWords();
    fOk = true;
    return true;
} catch (const std::bad_alloc&) {
    // The new tokens go; the index's files are as they were (a save stopped
    // before its commit leaves no file of its own behind).
    fNewStream = {};
    fNewMarkup = {};
    fStreamUsed = 0;
    return Fail(NotEnoughMemoryText(QStringLiteral("save the index \"%1\"").arg(fData.base)));
}

// ---------------------------------------------------------------------------
// Relationships

bool TIndexHandler::ComputeMIAssociation()
try {
    EnsureWhole();
    fError.clear();
    if (!fRelationshipsList)
        fRelationshipsList = std::make_unique<TRelationshipsList>(fDocument, CurrentToolSignature());
    fRelationshipsList->Clear();
    std::vector<uint32_t> nodes;
    if (fWordChoice != kIndexProcessAll) {
        nodes = ChosenTypes();
        if (nodes.empty())
            return Fail(QStringLiteral("None of the words chosen is in the index \"%1\".").arg(fData.base));
    }
    const TRelationshipOptions options =
        TRelationshipOptions::FromSettings(fSettings, fTotalTokens > 0 ? fTotalTokens : fData.RunningWords());
    QString error;
    bool cancelled = false;
    const bool ok = ComputeRelationships(fData, nodes, StopListTypes(fData), options, *fRelationshipsList, &error,
                                         &cancelled);
    fCancel_pressed = cancelled;
    if (!ok)
        return Fail(error);
    if (cancelled)
        return Fail(QStringLiteral("The relationships were not all computed: the job was stopped."));
    return fRelationshipsList->Count() > 0;
} catch (const std::bad_alloc&) {
    if (fRelationshipsList)
        fRelationshipsList->Clear();
    return Fail(NotEnoughMemoryText(QStringLiteral("compute the relationships")));
}

// ---------------------------------------------------------------------------
// Words and their places

std::vector<uint32_t> TIndexHandler::ChosenTypes() const
{
    EnsureWhole();
    std::vector<uint32_t> out;
    const TWordFolder folder(fData.textSettings);
    for (const QString& w : fWordsToProcess) {
        const QString word = w.trimmed();
        if (word.isEmpty())
            continue;
        std::vector<uint32_t> ids = fData.TypesOfWord(word);
        if (ids.empty())
            ids = fData.TypesOfWord(folder.Folded(word));
        out.insert(out.end(), ids.begin(), ids.end());
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::vector<TIndexPosition> TIndexHandler::AllContextsOf(const QString& word)
{
    EnsureWhole();
    std::vector<TIndexPosition> out;
    std::vector<uint32_t> ids = fData.TypesOfWord(word);
    if (ids.empty())
        ids = fData.TypesOfWord(TWordFolder(fData.textSettings).Folded(word));
    if (ids.empty())
        return out;
    std::vector<uint8_t> wanted(fData.types.size() + kIndexFirstTypeCode, 0);
    for (uint32_t id : ids)
        wanted[id + kIndexFirstTypeCode] = 1;
    QString error;
    bool cancelled = false;
    const bool ok = WalkIndexTexts(
        fData,
        [&](int32_t t, std::span<const uint32_t> codes, std::span<const uint8_t> levels) {
            int64_t sentence = 0, paragraph = 0;
            for (std::size_t i = 0; i < codes.size(); ++i) {
                if (i > 0 && levels[i] >= 2)
                    ++sentence;
                if (i > 0 && levels[i] >= 3)
                    ++paragraph;
                if (wanted[codes[i]])
                    out.push_back({t, int64_t(i), fData.texts[std::size_t(t)].firstToken + int64_t(i), sentence, paragraph});
            }
            return true;
        },
        &error, &cancelled);
    if (!ok)
        Fail(error);
    fCancel_pressed = cancelled;
    return out;
}

bool TIndexHandler::ExportData(const QString& fileName, const QString& word, bool sentenceLengths)
{
    EnsureWhole();
    TSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        const QString why = QStringLiteral("Cannot create file \"%1\": %2").arg(fileName, file.errorString());
        Fail(why);
        FailedToSave(fileName, why);
        return false;
    }
    QString out;
    QTextStream ts(&out);
    ts << "Index\t" << QDir::toNativeSeparators(fData.base) << '\n';
    ts << "Texts\t" << fData.TextCount() << '\n';
    ts << "Running words\t" << fData.RunningWords() << '\n';
    ts << "Types\t" << fData.types.size() << '\n';
    constexpr int kContextWords = 5;
    if (!word.trimmed().isEmpty()) {
        const std::vector<TIndexPosition> places = AllContextsOf(word.trimmed());
        std::vector<uint32_t> ids = fData.TypesOfWord(word.trimmed());
        if (ids.empty())
            ids = fData.TypesOfWord(TWordFolder(fData.textSettings).Folded(word.trimmed()));
        int64_t freq = 0;
        int32_t texts = 0;
        for (uint32_t id : ids) {
            freq += fData.types[id].freq;
            texts = std::max(texts, fData.types[id].texts);
        }
        std::vector<int32_t> textsSeen;
        for (const TIndexPosition& p : places)
            if (textsSeen.empty() || textsSeen.back() != p.text)
                textsSeen.push_back(p.text);
        ts << '\n' << "Word\t" << word.trimmed() << '\n';
        ts << "Frequency\t" << freq << '\n';
        ts << "Texts\t" << textsSeen.size() << '\n';
        ts << "N\tText\tWord\tSentence\tParagraph\tContext\n";
        std::vector<uint32_t> codes;
        int32_t loaded = -1;
        int64_t n = 0;
        for (const TIndexPosition& p : places) {
            if (p.text != loaded) {
                QString error;
                if (!fData.ReadTextTokens(p.text, codes, &error)) {
                    Fail(error);
                    FailedToRead(fData.base);
                    return false;
                }
                loaded = p.text;
            }
            QStringList context;
            const auto at = std::size_t(p.wordInText);
            for (std::size_t k = at >= kContextWords ? at - kContextWords : 0; k < std::min(codes.size(), at + kContextWords + 1); ++k)
                context << (k == at ? QStringLiteral("[%1]").arg(fData.CodeText(codes[k])) : fData.CodeText(codes[k]));
            const TStatsRec& s = fData.texts[std::size_t(p.text)].stats;
            ts << ++n << '\t' << (s.ZipEntryName.isEmpty() ? s.FileName : s.ZipEntryName) << '\t' << p.wordInText + 1
               << '\t' << p.sentence + 1 << '\t' << p.paragraph + 1 << '\t' << context.join(QLatin1Char(' ')) << '\n';
        }
    }
    if (sentenceLengths) {
        ts << '\n' << "Text\tSentences\tLengths\n";
        QString error;
        bool cancelled = false;
        const bool ok = WalkIndexTexts(
            fData,
            [&](int32_t t, std::span<const uint32_t> codes, std::span<const uint8_t> levels) {
                QStringList lengths;
                int64_t length = 0;
                for (std::size_t i = 0; i < codes.size(); ++i) {
                    if (i > 0 && levels[i] >= 2 && length > 0) {
                        lengths << QString::number(length);
                        length = 0;
                    }
                    if (codes[i] != kIndexCodeNumber)
                        ++length;
                }
                if (length > 0)
                    lengths << QString::number(length);
                const TStatsRec& s = fData.texts[std::size_t(t)].stats;
                ts << (s.ZipEntryName.isEmpty() ? s.FileName : s.ZipEntryName) << '\t' << lengths.size() << '\t'
                   << lengths.join(QLatin1Char(',')) << '\n';
                return true;
            },
            &error, &cancelled);
        if (!ok) {
            Fail(error);
            FailedToRead(fData.base);
            return false;
        }
    }
    ts.flush();
    const QByteArray bytes = out.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const QString why = QStringLiteral("Cannot save file \"%1\": %2").arg(fileName, file.errorString());
        Fail(why);
        FailedToSave(fileName, why);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Texts holding words

bool TIndexHandler::Open(const QString& indexFile, QString* error)
{
    if (!fData.texts.empty() && IndexBaseName(indexFile) == fData.base && fMode == kIndexOpenRead)
        return BuildTextPostings() || (error && (*error = fError, false));
    TIndexData loaded;
    if (!loaded.Load(indexFile, error))
        return false;
    fData = std::move(loaded);
    fMode = kIndexOpenRead;
    fPostingStart.clear();
    if (!BuildTextPostings()) {
        if (error)
            *error = fError;
        return false;
    }
    return true;
}

bool TIndexHandler::BuildTextPostings()
{
    EnsureWhole();
    if (!fPostingStart.empty())
        return true;
    const std::size_t n = fData.types.size();
    std::vector<int64_t> start(n + 1, 0);
    for (std::size_t id = 0; id < n; ++id)
        start[id + 1] = start[id] + fData.types[id].texts;
    std::vector<int32_t> texts(static_cast<std::size_t>(start[n]));
    std::vector<int64_t> fill(start.begin(), start.end() - 1);
    std::vector<int32_t> last(n, -1);
    QString error;
    bool damaged = false;
    const bool ok = WalkIndexTexts(
        fData,
        [&](int32_t t, std::span<const uint32_t> codes, std::span<const uint8_t>) {
            for (uint32_t c : codes) {
                if (c < kIndexFirstTypeCode)
                    continue;
                const uint32_t id = IndexTypeOfCode(c);
                if (last[id] == t)
                    continue;
                last[id] = t;
                if (fill[id] >= start[id + 1]) {
                    damaged = true;
                    return false;
                }
                texts[std::size_t(fill[id]++)] = t;
            }
            return true;
        },
        &error);
    if (!ok)
        return Fail(error);
    if (damaged)
        return Fail(QStringLiteral("The index \"%1\" is damaged: its texts and types disagree").arg(fData.base));
    fPostingStart = std::move(start);
    fPostingTexts = std::move(texts);
    return true;
}

int32_t TIndexHandler::TextsHoldingAnyOf(const QStringList& words)
{
    EnsureWhole();
    if (!BuildTextPostings())
        return 0;
    std::vector<uint8_t> seen(std::size_t(fData.TextCount()), 0);
    int32_t count = 0;
    const TWordFolder folder(fData.textSettings);
    for (const QString& w : words) {
        std::vector<uint32_t> ids = fData.TypesOfWord(w);
        if (ids.empty())
            ids = fData.TypesOfWord(folder.Folded(w));
        for (uint32_t id : ids)
            for (int64_t k = fPostingStart[id]; k < fPostingStart[id + 1]; ++k) {
                uint8_t& s = seen[std::size_t(fPostingTexts[std::size_t(k)])];
                count += s == 0;
                s = 1;
            }
    }
    return count;
}

// ---------------------------------------------------------------------------

bool MakeIndexOfTexts(TSharedChosenFilesClass& texts, const QString& indexName, uint8_t mode, QString* error,
                      QStringList* skipped, QStringList* textNotes)
try {
    T_WholeWordlistHolder doc(kListIndexWordList, nullptr, nullptr, false, false);
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!doc.StartAnIndexHandler(indexName, mode) || !doc.fIndexHandler || !doc.fIndexHandler->fOk)
        return fail(doc.fIndexHandler ? doc.fIndexHandler->LastError() : QStringLiteral("The index could not be started."));
    TIndexHandler& handler = *doc.fIndexHandler;
    if (!handler.LoadedTheFiles() || handler.fCancel_pressed)
        return fail(handler.LastError());
    int32_t converted = 0;
    const bool made = doc.MakeWordlist(texts, 0, converted, kListIndexWordList);
    if (skipped)
        *skipped = doc.UnreadTextReasons();
    if (textNotes)
        *textNotes = doc.TextNotes();
    if (!made && !doc.JobFailure().isEmpty())
        return fail(doc.JobFailure());
    if (!made)
        return fail(doc.UnreadTextReasons().isEmpty() ? QStringLiteral("No text could be indexed.")
                                                      : doc.UnreadTextReasons().join(QLatin1Char('\n')));
    handler.SetStatsList(doc.fStats.get());
    // The texts read, not those asked for.
    const int32_t indexed = doc.fStats->Count() - 1;
    doc.StartIndexNotes(QStringLiteral("%1 texts").arg(indexed));
    if (!handler.ProcessAfterWordHandling(doc.fNotes.join(QLatin1Char('\n')), double(indexed)))
        return fail(handler.LastError());
    return true;
} catch (const std::bad_alloc&) {
    if (error)
        *error = NotEnoughMemoryText(QStringLiteral("index the texts"));
    return false;
}

} // namespace cv
