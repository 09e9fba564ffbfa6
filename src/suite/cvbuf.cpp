#include "suite/cvbuf.h"

#include "suite/dialogs.h"
#include "suite/my_types.h"
#include "suite/private_files.h"
#include "suite/process_utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace cv {

namespace {

// ---- records private to the buffer -------------------------------------------

// Who is running: the controller's window and process, and every tool's windows.
class TWindowRegistryRec : public TSettingsRecord<1024> {
public:
    static constexpr std::size_t kToolBase = 16;
    static constexpr std::size_t kPerTool = 24;
    enum TWhich : std::size_t { kNewWnd = 0, kActiveMain = 8, kActiveChild = 16 };

    CV_FIELD(uint64_t, 0, ShellWnd)
    CV_BOOL_FIELD(8, Initialised)
    CV_FIELD(int32_t, 12, ControllerPid)

    static std::size_t ToolOffset(int tool, TWhich which) { return kToolBase + kPerTool * std::size_t(tool) + which; }

    // The open tool windows: a handle each, then a tool number each.
    static constexpr std::size_t kOpenWindowsBase = kToolBase + kPerTool * kToolSlots;
    static constexpr std::size_t kOpenToolsBase = kOpenWindowsBase + 8 * kOpenToolWindowSlots;
    static std::size_t OpenWindowOffset(int i) { return kOpenWindowsBase + 8 * std::size_t(i); }
    static std::size_t OpenToolOffset(int i) { return kOpenToolsBase + std::size_t(i); }
};
static_assert(TWindowRegistryRec::kOpenToolsBase + kOpenToolWindowSlots <= 1024);

class TToolFilesRec : public TSettingsRecord<1048> {
public:
    CV_TEXT_FIELD(0, 261, LastMainToolFileName)
    CV_TEXT_FIELD(522, 261, UserDLLFileName)
};

class TListChoiceRec : public TSettingsRecord<528> {
public:
    CV_BOOL_FIELD(0, Wanted)
    CV_TEXT_FIELD(2, 261, FileName)
};

class TFileNameRec : public TSettingsRecord<528> {
public:
    CV_TEXT_FIELD(0, 261, FileName)
};

// ---- the slot table: one line per slot, in file order -------------------------

struct TSlotInfo {
    TBufSlot slot;
    uint32_t size;
    int count;
};

constexpr std::array<TSlotInfo, std::size_t(TBufSlot::Count)> kSlots = {{
    {TBufSlot::Windows, uint32_t(TWindowRegistryRec::kSize), 1},
    {TBufSlot::General, uint32_t(TGeneralSettingsRec::kSize), 1},
    {TBufSlot::ToolFiles, uint32_t(TToolFilesRec::kSize), kToolSlots},
    {TBufSlot::TextSettings, uint32_t(TTextSettings::kSize), 1},
    {TBufSlot::KeyWords, uint32_t(TKeyWordsSettingsRec::kSize), 1},
    {TBufSlot::Concordance, uint32_t(TConcSettingsRec32::kSize), 1},
    {TBufSlot::WordlistIndex, uint32_t(TWordlist_index_settings_rec::kSize), 1},
    {TBufSlot::WordlistSettings, uint32_t(TWordlistSettingsRec::kSize), 1},
    {TBufSlot::Clipboard, uint32_t(TCVClipboardSettings::kSize), 1},
    {TBufSlot::WordCloud, uint32_t(TWordCloudSettingsRec::kSize), 1},
    {TBufSlot::RulerPlot, uint32_t(TRulerPlotWordCloudFeatures::kSize), 1},
    {TBufSlot::Startup, uint32_t(TStartupOptionsRec::kSize), 1},
    {TBufSlot::CollocateScript, uint32_t(TCollocateScriptSettings::kSize), 1},
    {TBufSlot::MutualChecks, uint32_t(TConcgramMutualChecks::kSize), 1},
    {TBufSlot::Progress, uint32_t(TProgressParamsRec::kSize), 1},
    {TBufSlot::ListChoices, uint32_t(TListChoiceRec::kSize), kToolSlots * TSettingsBuffer::kLemmaListKinds},
    {TBufSlot::ListSettings, uint32_t(TListSettingsRec::kSize), kToolSlots * TSettingsBuffer::kLemmaListKinds},
    {TBufSlot::LastUsedFiles, uint32_t(TFileNameRec::kSize), TSettingsBuffer::kListTypes},
    {TBufSlot::GridDefaults, uint32_t(TGridDefaultsRec::kSize), 1},
}};

constexpr uint32_t alignUp(uint32_t v) { return (v + 15u) & ~15u; }

constexpr std::array<uint32_t, kSlots.size() + 1> computeOffsets()
{
    std::array<uint32_t, kSlots.size() + 1> out{};
    uint32_t pos = TSettingsBuffer::kHeaderSize;
    for (std::size_t i = 0; i < kSlots.size(); ++i) {
        out[i] = pos;
        pos = alignUp(pos + kSlots[i].size * uint32_t(kSlots[i].count));
    }
    out[kSlots.size()] = pos;
    return out;
}
constexpr auto kOffsets = computeOffsets();

constexpr uint32_t computeSignature()
{
    uint32_t h = 2166136261u; // FNV-1a over the slot table
    for (const auto& s : kSlots) {
        for (uint32_t v : {uint32_t(s.slot), s.size, uint32_t(s.count)}) {
            for (int b = 0; b < 4; ++b) {
                h ^= (v >> (8 * b)) & 0xFFu;
                h *= 16777619u;
            }
        }
    }
    return h;
}

// Header fields.
constexpr std::size_t kHdrVersion = 8;
constexpr std::size_t kHdrHeaderSize = 12;
constexpr std::size_t kHdrTotalSize = 16;
constexpr std::size_t kHdrSignature = 20;
constexpr std::size_t kHdrLock = 24;
constexpr std::size_t kHdrWriteCount = 28;
constexpr std::size_t kHdrCreatorPid = 32;

uint32_t loadU32(const uint8_t* p) { return endian::loadLE<uint32_t>(p); }

bool validIndex(TBufSlot slot, int index)
{
    return slot < TBufSlot::Count && index >= 0 && index < kSlots[std::size_t(slot)].count;
}

int listIndex(uint8_t tool, uint8_t kind)
{
    if (tool >= kToolSlots || kind >= TSettingsBuffer::kLemmaListKinds)
        return -1;
    return int(tool) * TSettingsBuffer::kLemmaListKinds + kind;
}

QString defaultUserFolder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath();
    return QDir(base).filePath(QStringLiteral("Corvantis"));
}

QString defaultDocumentsFolder()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return docs.isEmpty() ? QDir::homePath() : docs;
}

} // namespace

// ---- the buffer ------------------------------------------------------------------

TSettingsBuffer& TSettingsBuffer::Instance()
{
    static TSettingsBuffer buffer;
    return buffer;
}

TSettingsBuffer::TSettingsBuffer() { UsePrivate(); }

TSettingsBuffer::~TSettingsBuffer() { Unmap(); }

QString TSettingsBuffer::DefaultFileName()
{
    const QString env = qEnvironmentVariable("CV_SETTINGS_BUFFER");
    return SuiteTempPath(env.isEmpty() ? QStringLiteral("corvantis-settings.buf") : env);
}

uint32_t TSettingsBuffer::TotalSize() { return kOffsets.back(); }

uint32_t TSettingsBuffer::SlotOffset(TBufSlot slot, int index)
{
    const std::size_t i = std::size_t(slot);
    return kOffsets[i] + kSlots[i].size * uint32_t(index);
}

uint32_t TSettingsBuffer::SlotSize(TBufSlot slot) { return kSlots[std::size_t(slot)].size; }

int TSettingsBuffer::SlotCount(TBufSlot slot) { return kSlots[std::size_t(slot)].count; }

uint32_t TSettingsBuffer::LayoutSignature()
{
    static constexpr uint32_t sig = computeSignature();
    return sig;
}

QString TSettingsBuffer::FileName() const { return m_file ? m_fileName : QString(); }

void TSettingsBuffer::Unmap()
{
    if (m_file) {
        if (m_base)
            m_file->unmap(m_base);
        m_file.reset();
    }
    m_base = nullptr;
}

void TSettingsBuffer::UsePrivate()
{
    Unmap();
    m_private.assign((TotalSize() + 7) / 8, 0);
    m_base = reinterpret_cast<uint8_t*>(m_private.data());
    m_mode = TMode::Private;
    WriteDefaults(m_base);
}

QString TSettingsBuffer::ValidateHeader(const uint8_t* base, int64_t fileSize)
{
    if (fileSize < int64_t(kHeaderSize))
        return QStringLiteral("the file is truncated (%1 bytes)").arg(fileSize);
    if (std::memcmp(base, kMagic, sizeof kMagic) != 0)
        return QStringLiteral("it is not a settings buffer (wrong signature)");
    const uint32_t version = loadU32(base + kHdrVersion);
    if (version != kVersion)
        return QStringLiteral("it has format version %1, this program reads version %2").arg(version).arg(kVersion);
    if (loadU32(base + kHdrHeaderSize) != kHeaderSize || loadU32(base + kHdrTotalSize) != TotalSize()
        || loadU32(base + kHdrSignature) != LayoutSignature())
        return QStringLiteral("its record layout differs from this program's");
    if (fileSize < int64_t(TotalSize()))
        return QStringLiteral("the file is truncated (%1 of %2 bytes)").arg(fileSize).arg(TotalSize());
    return {};
}

std::unique_ptr<QFile> TSettingsBuffer::OpenFile(const QString& fileName, bool create, QString* headerProblem, QString* error)
{
    // Never through a link, and never a file of another user: a buffer
    // someone else made would share our settings with them (and name the
    // plug-in our tools load), a link would have us overwrite its target.
    auto file = OpenPrivateQFile(fileName, create ? TPrivateOpen::Create : TPrivateOpen::ReadWrite, error);
    if (!file)
        return nullptr;
    // The header is checked from a plain read, before anything is mapped.
    const QByteArray head = file->read(kHeaderSize);
    *headerProblem = ValidateHeader(reinterpret_cast<const uint8_t*>(head.constData()),
                                    head.size() < int(kHeaderSize) ? head.size() : file->size());
    return file;
}

bool TSettingsBuffer::Adopt(std::unique_ptr<QFile> file, const QString& fileName, QString* error)
{
    // Never map past the end of the file: touching such pages kills the
    // process. (Asking the size also refreshes what QFile knows of it.)
    if (file->size() < int64_t(TotalSize())) {
        if (error)
            *error = QStringLiteral("The settings buffer \"%1\" cannot be used: the file is truncated").arg(fileName);
        return false;
    }
    uchar* p = file->map(0, TotalSize());
    if (!p) {
        if (error)
            *error = QStringLiteral("Cannot map file \"%1\": %2").arg(fileName, file->errorString());
        return false;
    }
    Unmap();
    m_base = p;
    m_file = std::move(file);
    m_fileName = fileName;
    m_private.clear();
    m_mode = TMode::Shared;
    return true;
}

bool TSettingsBuffer::AttachShared(const QString& fileName, QString* error)
{
    if (!QFileInfo::exists(fileName)) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\": it does not exist").arg(fileName);
        return false;
    }
    QString problem;
    auto file = OpenFile(fileName, false, &problem, error);
    if (!file)
        return false;
    if (!problem.isEmpty()) {
        if (error)
            *error = QStringLiteral("The settings buffer \"%1\" cannot be used: %2").arg(fileName, problem);
        return false;
    }
    return Adopt(std::move(file), fileName, error);
}

bool TSettingsBuffer::CreateShared(const QString& fileName, bool keepValid, QString* error)
{
    // The suite's own folder is made (private) when the file is opened.
    if (!IsInSuiteTempFolder(fileName))
        QDir().mkpath(QFileInfo(fileName).absolutePath());
    QString problem;
    auto file = OpenFile(fileName, true, &problem, error);
    if (!file)
        return false;
    const bool valid = problem.isEmpty();
    if (!valid && file->size() < int64_t(TotalSize()) && !file->resize(TotalSize())) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\": %2").arg(fileName, file->errorString());
        return false;
    }
    if (!Adopt(std::move(file), fileName, error))
        return false;
    // A valid buffer may be mapped by running tools: its records are reset
    // under the lock. A damaged one is rewritten whole.
    if (!valid)
        WriteDefaults(m_base);
    else if (!keepValid)
        ResetToDefaults();
    return true;
}

void TSettingsBuffer::WriteDefaults(uint8_t* base) const
{
    // The header goes last so that a process attaching meanwhile refuses the
    // half-written buffer.
    std::memset(base, 0, kHeaderSize);
    WriteRecordDefaults(base);
    endian::storeLE<uint32_t>(base + kHdrVersion, kVersion);
    endian::storeLE<uint32_t>(base + kHdrHeaderSize, kHeaderSize);
    endian::storeLE<uint32_t>(base + kHdrTotalSize, TotalSize());
    endian::storeLE<uint32_t>(base + kHdrSignature, LayoutSignature());
    endian::storeLE<uint32_t>(base + kHdrCreatorPid, uint32_t(CurrentProcessId()));
    std::atomic_thread_fence(std::memory_order_release);
    std::memcpy(base, kMagic, sizeof kMagic);
}

void TSettingsBuffer::WriteRecordDefaults(uint8_t* base)
{
    std::memset(base + kHeaderSize, 0, TotalSize() - kHeaderSize);
    auto put = [base](TBufSlot slot, int index, std::span<const uint8_t> bytes) {
        std::memcpy(base + SlotOffset(slot, index), bytes.data(), bytes.size());
    };
    auto general = TGeneralSettingsRec::Defaults();
    general.SetLogFilename(SuiteTempFile(QStringLiteral("CVlog.txt")));
    general.SetUserReadWriteFolder(defaultUserFolder());
    general.SetDefaultFolder(defaultDocumentsFolder());
    put(TBufSlot::General, 0, general.Bytes());
    put(TBufSlot::TextSettings, 0, TTextSettings::Defaults().Bytes());
    put(TBufSlot::KeyWords, 0, TKeyWordsSettingsRec::Defaults().Bytes());
    put(TBufSlot::Concordance, 0, TConcSettingsRec32::Defaults().Bytes());
    put(TBufSlot::WordlistIndex, 0, TWordlist_index_settings_rec::Defaults().Bytes());
    put(TBufSlot::WordlistSettings, 0, TWordlistSettingsRec::Defaults().Bytes());
    put(TBufSlot::Clipboard, 0, TCVClipboardSettings::Defaults().Bytes());
    put(TBufSlot::WordCloud, 0, TWordCloudSettingsRec::Defaults().Bytes());
    put(TBufSlot::RulerPlot, 0, TRulerPlotWordCloudFeatures::Defaults().Bytes());
    put(TBufSlot::Startup, 0, TStartupOptionsRec::Defaults().Bytes());
    put(TBufSlot::CollocateScript, 0, TCollocateScriptSettings::Defaults().Bytes());
    put(TBufSlot::MutualChecks, 0, TConcgramMutualChecks::Defaults().Bytes());
    put(TBufSlot::GridDefaults, 0, TGridDefaultsRec::Defaults().Bytes());
    const auto listDefaults = TListSettingsRec::Defaults();
    for (int i = 0; i < SlotCount(TBufSlot::ListSettings); ++i)
        put(TBufSlot::ListSettings, i, listDefaults.Bytes());
}

void TSettingsBuffer::ResetToDefaults()
{
    TLock lock(*this);
    WriteRecordDefaults(m_base);
    BumpWriteCount();
}

// A spin lock in the header shared by all processes. The word holds the
// owner's process id; a dead owner's lock is taken over.
TSettingsBuffer::TLock::TLock(const TSettingsBuffer& b)
    : m_word(reinterpret_cast<uint32_t*>(b.m_base + kHdrLock))
{
    std::atomic_ref<uint32_t> word(*m_word);
    const uint32_t me = uint32_t(CurrentProcessId());
    const auto start = std::chrono::steady_clock::now();
    for (int spins = 0;; ++spins) {
        uint32_t expected = 0;
        if (word.compare_exchange_weak(expected, me, std::memory_order_acquire))
            return;
        if (spins < 200)
            continue;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        const auto waited = std::chrono::steady_clock::now() - start;
        const uint32_t holder = word.load(std::memory_order_relaxed);
        const bool holderDead = holder != 0 && holder != me && !ProcessIsAlive(holder);
        if ((holderDead && waited > std::chrono::milliseconds(20)) || waited > std::chrono::seconds(2)) {
            if (word.compare_exchange_strong(expected = holder, me, std::memory_order_acquire))
                return;
        }
    }
}

TSettingsBuffer::TLock::~TLock() { std::atomic_ref<uint32_t>(*m_word).store(0, std::memory_order_release); }

std::span<uint8_t> TSettingsBuffer::ElementBytes(TBufSlot slot, int index) const
{
    return {m_base + SlotOffset(slot, index), SlotSize(slot)};
}

void TSettingsBuffer::BumpWriteCount()
{
    endian::storeLE<uint32_t>(m_base + kHdrWriteCount, loadU32(m_base + kHdrWriteCount) + 1);
}

uint32_t TSettingsBuffer::WriteCount() const
{
    TLock lock(*this);
    return loadU32(m_base + kHdrWriteCount);
}

void TSettingsBuffer::Read(TBufSlot slot, int index, std::span<uint8_t> out) const
{
    std::memset(out.data(), 0, out.size());
    if (!validIndex(slot, index))
        return;
    TLock lock(*this);
    const auto src = ElementBytes(slot, index);
    std::memcpy(out.data(), src.data(), std::min(out.size(), src.size()));
}

void TSettingsBuffer::Write(TBufSlot slot, int index, std::span<const uint8_t> in)
{
    if (!validIndex(slot, index))
        return;
    TLock lock(*this);
    const auto dst = ElementBytes(slot, index);
    std::memcpy(dst.data(), in.data(), std::min(in.size(), dst.size()));
    BumpWriteCount();
}

// ---- module link -------------------------------------------------------------------

namespace {
QString g_lastReportedProblem;

// Looks for the shared buffer; reports a damaged one once per problem.
bool tryAttach(bool reportProblems)
{
    auto& buf = TSettingsBuffer::Instance();
    const QString name = TSettingsBuffer::DefaultFileName();
    if (buf.IsShared() && buf.FileName() == name)
        return true;
    if (!QFileInfo::exists(name))
        return false;
    QString error;
    if (buf.AttachShared(name, &error)) {
        g_lastReportedProblem.clear();
        return true;
    }
    if (reportProblems && error != g_lastReportedProblem) {
        g_lastReportedProblem = error;
        TDialogRequest r;
        r.routine = QStringLiteral("SetupCVBufSharing");
        r.kind = TDialogKind::Warning;
        r.caption = QStringLiteral("Settings");
        r.text = error + QStringLiteral("\nThe program goes on with default settings.");
        ShowDialog(r);
    }
    return false;
}

template <typename Rec>
Rec get(TBufSlot slot, int index = 0)
{
    return TSettingsBuffer::Instance().ReadRecord<Rec>(slot, index);
}

template <typename Rec>
void set(TBufSlot slot, const Rec& r, int index = 0)
{
    TSettingsBuffer::Instance().WriteRecord(slot, r, index);
}

// Changes one record in place under one lock.
template <typename Rec, typename F>
void modify(TBufSlot slot, int index, F&& change)
{
    if (!validIndex(slot, index))
        return;
    TSettingsBuffer::Instance().Modify(slot, index, [&](std::span<uint8_t> bytes) {
        Rec r;
        r.CopyBytesFrom(bytes);
        change(r);
        std::memcpy(bytes.data(), r.Bytes().data(), bytes.size());
    });
}

TGeneralSettingsRec general() { return get<TGeneralSettingsRec>(TBufSlot::General); }

template <typename F>
void modifyGeneral(F&& change)
{
    modify<TGeneralSettingsRec>(TBufSlot::General, 0, std::forward<F>(change));
}

TWindowRegistryRec windows() { return get<TWindowRegistryRec>(TBufSlot::Windows); }

TWindowHandle toolWindow(uint8_t tool, TWindowRegistryRec::TWhich which)
{
    return tool < kToolSlots ? windows().Get<uint64_t>(TWindowRegistryRec::ToolOffset(tool, which)) : 0;
}

void setToolWindow(uint8_t tool, TWindowRegistryRec::TWhich which, TWindowHandle wnd)
{
    if (tool >= kToolSlots)
        return;
    modify<TWindowRegistryRec>(TBufSlot::Windows, 0,
                               [&](TWindowRegistryRec& r) { r.Set<uint64_t>(TWindowRegistryRec::ToolOffset(tool, which), wnd); });
}
} // namespace

bool SetupCVBufSharing() { return tryAttach(true); }

// ---- window registration and the controller --------------------------------------------

void SetNewWnd(uint8_t tool, TWindowHandle wnd)
{
    if (tool >= kToolSlots)
        return;
    modify<TWindowRegistryRec>(TBufSlot::Windows, 0, [&](TWindowRegistryRec& r) {
        r.Set<uint64_t>(TWindowRegistryRec::ToolOffset(tool, TWindowRegistryRec::kNewWnd), wnd);
        if (tool == kToolController || wnd == 0)
            return;
        // Listed once, in the first place that is free or held by a window whose process has ended.
        int place = -1;
        for (int i = 0; i < kOpenToolWindowSlots; ++i) {
            const TWindowHandle listed = r.Get<uint64_t>(TWindowRegistryRec::OpenWindowOffset(i));
            if (listed == wnd)
                return;
            if (place < 0 && (listed == 0 || !ProcessIsAlive(WindowHandleProcess(listed))))
                place = i;
        }
        if (place < 0)
            return;
        r.Set<uint64_t>(TWindowRegistryRec::OpenWindowOffset(place), wnd);
        r.Set<uint8_t>(TWindowRegistryRec::OpenToolOffset(place), tool);
    });
}

void UnSetWnd(uint8_t tool, TWindowHandle wnd)
{
    if (tool >= kToolSlots)
        return;
    // Only the registrations that still name this window are cleared, so a
    // second window of the same tool keeps its own.
    modify<TWindowRegistryRec>(TBufSlot::Windows, 0, [&](TWindowRegistryRec& r) {
        for (int i = 0; i < kOpenToolWindowSlots; ++i)
            if (r.Get<uint64_t>(TWindowRegistryRec::OpenWindowOffset(i)) == wnd)
                r.Set<uint64_t>(TWindowRegistryRec::OpenWindowOffset(i), 0);
        for (auto which : {TWindowRegistryRec::kNewWnd, TWindowRegistryRec::kActiveMain, TWindowRegistryRec::kActiveChild}) {
            const auto off = TWindowRegistryRec::ToolOffset(tool, which);
            if (r.Get<uint64_t>(off) == wnd || (which == TWindowRegistryRec::kActiveChild && WindowHandleProcess(r.Get<uint64_t>(off)) == WindowHandleProcess(wnd)))
                r.Set<uint64_t>(off, 0);
        }
    });
}

TWindowHandle GetToolWnd(uint8_t tool) { return toolWindow(tool, TWindowRegistryRec::kNewWnd); }
void SetActiveMainToolWindow(uint8_t tool, TWindowHandle wnd) { setToolWindow(tool, TWindowRegistryRec::kActiveMain, wnd); }
TWindowHandle GetActiveMainToolWindow(uint8_t tool) { return toolWindow(tool, TWindowRegistryRec::kActiveMain); }
void SetActiveChildToolWindow(uint8_t tool, TWindowHandle wnd) { setToolWindow(tool, TWindowRegistryRec::kActiveChild, wnd); }
TWindowHandle GetActiveChildToolWindow(uint8_t tool) { return toolWindow(tool, TWindowRegistryRec::kActiveChild); }

std::vector<TOpenToolWindow> GetOpenToolWindows()
{
    const auto r = windows();
    std::vector<TOpenToolWindow> open;
    const auto add = [&open](uint8_t tool, TWindowHandle wnd) {
        if (std::none_of(open.begin(), open.end(), [wnd](const TOpenToolWindow& w) { return w.wnd == wnd; }))
            open.push_back({tool, wnd});
    };
    for (int t = 0; t < kToolSlots; ++t)
        if (const TWindowHandle wnd = r.Get<uint64_t>(TWindowRegistryRec::ToolOffset(t, TWindowRegistryRec::kNewWnd));
            t != kToolController && wnd != 0)
            add(uint8_t(t), wnd);
    for (int i = 0; i < kOpenToolWindowSlots; ++i)
        if (const TWindowHandle wnd = r.Get<uint64_t>(TWindowRegistryRec::OpenWindowOffset(i));
            wnd != 0 && ProcessIsAlive(WindowHandleProcess(wnd)))
            add(r.Get<uint8_t>(TWindowRegistryRec::OpenToolOffset(i)), wnd);
    return open;
}

int GetToolsOpen() { return int(GetOpenToolWindows().size()); }

TWindowHandle GetShellWnd() { return windows().ShellWnd(); }

void SetShellWnd(TWindowHandle wnd)
{
    modify<TWindowRegistryRec>(TBufSlot::Windows, 0, [&](TWindowRegistryRec& r) { r.SetShellWnd(wnd); });
}

bool GetCVShellInitialised()
{
    if (!TSettingsBuffer::Instance().IsShared() && !tryAttach(false))
        return false;
    const auto r = windows();
    // A controller that was killed leaves its flag behind: it counts only
    // while its process lives.
    return r.Initialised() && ProcessIsAlive(r.ControllerPid());
}

void SetCVShellInitialised(bool initialised)
{
    modify<TWindowRegistryRec>(TBufSlot::Windows, 0, [&](TWindowRegistryRec& r) {
        r.SetInitialised(initialised);
        r.SetControllerPid(initialised ? int32_t(CurrentProcessId()) : 0);
    });
}

int64_t GetControllerProcessId() { return windows().ControllerPid(); }

// ---- progress ---------------------------------------------------------------------------

void SetProgressParams(const TProgressParamsRec& params) { set(TBufSlot::Progress, params); }
TProgressParamsRec GetProgressParams() { return get<TProgressParamsRec>(TBufSlot::Progress); }

// ---- logging, folders, file names ------------------------------------------------------------

bool GetLogging() { return general().Logging(); }
void SetLogging(bool on) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetLogging(on); }); }
QString GetTheLogFilename() { return general().LogFilename(); }
void SetTheLogFilename(const QString& name) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetLogFilename(name); }); }

QString GetUserReadWriteFolder() { return general().UserReadWriteFolder(); }
void SetUserReadWriteFolder(const QString& f) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetUserReadWriteFolder(f); }); }
QString GetDefaultFolder() { return general().DefaultFolder(); }
void SetDefaultFolder(const QString& f) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetDefaultFolder(f); }); }
QString GetLastOpenedFolder() { return general().LastOpenedFolder(); }
void SetLastOpenedFolder(const QString& f) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetLastOpenedFolder(f); }); }

QString FolderForNewFiles()
{
    for (const QString& folder : {GetDefaultFolder(), GetLastOpenedFolder()})
        if (const QFileInfo info(folder); !folder.isEmpty() && info.isAbsolute() && info.isDir())
            return info.absoluteFilePath();
    return QDir::homePath();
}
QString GetHelpfilename() { return general().HelpFilename(); }
void SetHelpfilename(const QString& n) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetHelpFilename(n); }); }
QString GetMyTempFilename() { return general().MyTempFilename(); }
void SetMyTempFilename(const QString& n) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetMyTempFilename(n); }); }

QString GetLastMainToolFileName(uint8_t tool)
{
    return tool < kToolSlots ? get<TToolFilesRec>(TBufSlot::ToolFiles, tool).LastMainToolFileName() : QString();
}
void SetLastMainToolFileName(uint8_t tool, const QString& name)
{
    modify<TToolFilesRec>(TBufSlot::ToolFiles, tool, [&](TToolFilesRec& r) { r.SetLastMainToolFileName(name); });
}

QString GetLastUsedFile(uint8_t listType)
{
    return listType < TSettingsBuffer::kListTypes ? get<TFileNameRec>(TBufSlot::LastUsedFiles, listType).FileName() : QString();
}
void SetLastUsedFile(uint8_t listType, const QString& name)
{
    modify<TFileNameRec>(TBufSlot::LastUsedFiles, listType, [&](TFileNameRec& r) { r.SetFileName(name); });
}

// ---- records -------------------------------------------------------------------------------------

TGeneralSettingsRec GetGeneralSettings() { return general(); }
void SetGeneralSettings(const TGeneralSettingsRec& g) { set(TBufSlot::General, g); }
TTextSettings GetTextSettings() { return get<TTextSettings>(TBufSlot::TextSettings); }
void SetTextSettings(const TTextSettings& s) { set(TBufSlot::TextSettings, s); }
TKeyWordsSettingsRec GetKeywordsSettings() { return get<TKeyWordsSettingsRec>(TBufSlot::KeyWords); }
void SetKeywordsSettings(const TKeyWordsSettingsRec& s) { set(TBufSlot::KeyWords, s); }
bool GetKeywordsSettingsHandleAmount() { return GetKeywordsSettings().TwoWay(); }
QString GetKeywordsSettingsReferenceCorpus() { return GetKeywordsSettings().ReferenceListName(); }
void SetKeywordsSettingsReferenceCorpus(const QString& name)
{
    modify<TKeyWordsSettingsRec>(TBufSlot::KeyWords, 0, [&](TKeyWordsSettingsRec& r) { r.SetReferenceListName(name); });
}

TConcSettingsRec32 GetConcSaveRec()
{
    TConcSettingsRec32 c = get<TConcSettingsRec32>(TBufSlot::Concordance);
    c.ConvertToCurrentLayout();
    return c;
}
void SetConcSaveRec(const TConcSettingsRec32& s) { set(TBufSlot::Concordance, s); }

namespace {
template <typename F>
void modifyConc(F&& change)
{
    modify<TConcSettingsRec32>(TBufSlot::Concordance, 0, std::forward<F>(change));
}
} // namespace

void SetConcSaveRecEntriesWantedPerSw(int32_t n) { modifyConc([&](TConcSettingsRec32& c) { c.SetEntriesWantedPerSw(n); }); }
void SetConcSaveRecHideOptions(uint8_t s) { modifyConc([&](TConcSettingsRec32& c) { c.SetHideOptions(s); }); }
void SetConcSaveRecDisplayOptions(uint8_t s) { modifyConc([&](TConcSettingsRec32& c) { c.SetDisplayOptions(s); }); }
void SetConcSaveRecColouringOptions(uint8_t s) { modifyConc([&](TConcSettingsRec32& c) { c.SetColouringOptions(s); }); }
void SetConcSaveRecCollocatesStopAt(uint8_t s) { modifyConc([&](TConcSettingsRec32& c) { c.SetCollocatesStopAt(s); }); }

Tdouble_smallint_type GetConcSaveRecCollocHorizons()
{
    const auto c = GetConcSaveRec();
    return {c.CollocHorizonLeft(), c.CollocHorizonRight()};
}

int32_t GetConcCharactersForTextOnly() { return general().ConcCharactersForTextOnly(); }
void SetConcCharactersForTextOnly(int32_t n) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetConcCharactersForTextOnly(n); }); }

TWordlist_index_settings_rec GetWordlistIndexSettings() { return get<TWordlist_index_settings_rec>(TBufSlot::WordlistIndex); }
void SetWordlistIndexSettings(const TWordlist_index_settings_rec& s) { set(TBufSlot::WordlistIndex, s); }
TWordlistSettingsRec GetWordlistSettings() { return get<TWordlistSettingsRec>(TBufSlot::WordlistSettings); }
void SetWordlistSettings(const TWordlistSettingsRec& s) { set(TBufSlot::WordlistSettings, s); }
TCVClipboardSettings GetClipboardSettings() { return get<TCVClipboardSettings>(TBufSlot::Clipboard); }
void SetClipboardSettings(const TCVClipboardSettings& s) { set(TBufSlot::Clipboard, s); }
TWordCloudSettingsRec GetWordCloudSettings() { return get<TWordCloudSettingsRec>(TBufSlot::WordCloud); }
void SetWordCloudSettings(const TWordCloudSettingsRec& s) { set(TBufSlot::WordCloud, s); }
TRulerPlotWordCloudFeatures GetRulerPlotWordCloudFeatures() { return get<TRulerPlotWordCloudFeatures>(TBufSlot::RulerPlot); }

TPrinterPrefs GetPrinterPrefs()
{
    const auto g = get<TGridDefaultsRec>(TBufSlot::GridDefaults);
    return {g.WordColumnTenthsMm(), g.ScreenDpi()};
}

void SetPrinterPrefs(const TPrinterPrefs& prefs)
{
    modify<TGridDefaultsRec>(TBufSlot::GridDefaults, 0, [&](TGridDefaultsRec& g) {
        g.SetWordColumnTenthsMm(prefs.wordColumnTenthsMm);
        g.SetScreenDpi(prefs.screenDpi);
    });
}

int PixelWidth(const TPrinterPrefs& prefs)
{
    const double pixels = double(std::max(prefs.wordColumnTenthsMm, 0)) / 254.0 * double(std::max(prefs.screenDpi, 0));
    return std::max(1, int(std::lround(std::min(pixels, 100000.0))));
}

uint32_t GetDefaultColumnVisibility(uint8_t listType)
{
    return get<TGridDefaultsRec>(TBufSlot::GridDefaults).ColumnVisibility(listType);
}

void SetDefaultColumnVisibility(uint8_t listType, uint32_t mask)
{
    modify<TGridDefaultsRec>(TBufSlot::GridDefaults, 0, [&](TGridDefaultsRec& g) { g.SetColumnVisibility(listType, mask); });
}
void SetRulerPlotWordCloudFeatures(const TRulerPlotWordCloudFeatures& r) { set(TBufSlot::RulerPlot, r); }
TStartupOptionsRec GetStartupOptions() { return get<TStartupOptionsRec>(TBufSlot::Startup); }
void SetStartupOptions(const TStartupOptionsRec& s) { set(TBufSlot::Startup, s); }
TCollocateScriptSettings GetCollocateScriptSettings() { return get<TCollocateScriptSettings>(TBufSlot::CollocateScript); }
void SetCollocateScriptSettings(const TCollocateScriptSettings& s) { set(TBufSlot::CollocateScript, s); }
TConcgramMutualChecks GetConcgramMutualChecks() { return get<TConcgramMutualChecks>(TBufSlot::MutualChecks); }
void SetConcgramMutualChecks(const TConcgramMutualChecks& c) { set(TBufSlot::MutualChecks, c); }

// ---- lemmatiser lists ---------------------------------------------------------------------------

bool GetLemmaMatchStopWanted(uint8_t tool, uint8_t kind)
{
    const int i = listIndex(tool, kind);
    return i >= 0 && get<TListChoiceRec>(TBufSlot::ListChoices, i).Wanted();
}
void SetLemmaMatchStopWanted(uint8_t tool, uint8_t kind, bool wanted)
{
    modify<TListChoiceRec>(TBufSlot::ListChoices, listIndex(tool, kind), [&](TListChoiceRec& r) { r.SetWanted(wanted); });
}
QString GetLemmaMatchStopFilename(uint8_t tool, uint8_t kind)
{
    const int i = listIndex(tool, kind);
    return i >= 0 ? get<TListChoiceRec>(TBufSlot::ListChoices, i).FileName() : QString();
}
void SetLemmaMatchStopFilename(uint8_t tool, uint8_t kind, const QString& name)
{
    modify<TListChoiceRec>(TBufSlot::ListChoices, listIndex(tool, kind), [&](TListChoiceRec& r) { r.SetFileName(name); });
}
TListSettingsRec GetListSettings(uint8_t tool, uint8_t kind)
{
    const int i = listIndex(tool, kind);
    return i >= 0 ? get<TListSettingsRec>(TBufSlot::ListSettings, i) : TListSettingsRec::Defaults();
}
void SetListSettings(uint8_t tool, uint8_t kind, const TListSettingsRec& s)
{
    const int i = listIndex(tool, kind);
    if (i >= 0)
        set(TBufSlot::ListSettings, s, i);
}
uint8_t GetRelationMatchWanted(uint8_t tool) { return general().ToolByte(TGeneralSettingsRec::kRelationMatchOffset, tool); }
void SetRelationMatchWanted(uint8_t tool, uint8_t choice)
{
    modifyGeneral([&](TGeneralSettingsRec& g) { g.SetToolByte(TGeneralSettingsRec::kRelationMatchOffset, tool, choice); });
}

// ---- job switches ---------------------------------------------------------------------------------

bool GetFastMinimalProcessing(uint8_t tool) { return general().ToolByte(TGeneralSettingsRec::kFastMinimalOffset, tool) != 0; }
void SetFastMinimalProcessing(uint8_t tool, bool on)
{
    modifyGeneral([&](TGeneralSettingsRec& g) { g.SetToolByte(TGeneralSettingsRec::kFastMinimalOffset, tool, on ? 1 : 0); });
}
bool GetUseUserFilter(uint8_t tool) { return general().ToolByte(TGeneralSettingsRec::kUseUserFilterOffset, tool) != 0; }
void SetUseUserFilter(uint8_t tool, bool on)
{
    modifyGeneral([&](TGeneralSettingsRec& g) { g.SetToolByte(TGeneralSettingsRec::kUseUserFilterOffset, tool, on ? 1 : 0); });
}
QString GetUserDLLFileName(uint8_t tool)
{
    return tool < kToolSlots ? get<TToolFilesRec>(TBufSlot::ToolFiles, tool).UserDLLFileName() : QString();
}
void SetUserDLLFileName(uint8_t tool, const QString& name)
{
    modify<TToolFilesRec>(TBufSlot::ToolFiles, tool, [&](TToolFilesRec& r) { r.SetUserDLLFileName(name); });
}
bool GetRandomising() { return general().Randomising(); }
int32_t GetRandomRange() { return general().RandomRange(); }
void SetRandomising(bool on, int32_t range)
{
    modifyGeneral([&](TGeneralSettingsRec& g) {
        g.SetRandomising(on);
        g.SetRandomRange(range);
    });
}
int32_t GetTagsWanted() { return general().TagsWanted(); }
void SetTagsWanted(int32_t n) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetTagsWanted(n); }); }
bool GetCustomLanguageTagsLoaded() { return general().CustomLanguageTagsLoaded(); }
void SetCustomLanguageTagsLoaded(bool l) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetCustomLanguageTagsLoaded(l); }); }
bool GetMaySaveCVBufferFile() { return general().MaySaveCVBufferFile(); }
bool GetRemoveDuplicatesAutomatically() { return general().RemoveDuplicatesAutomatically(); }
bool GetPostProcessSaveFilenames() { return general().PostProcessSaveFilenames(); }
bool GetShouldColourPercentages() { return general().ShouldColourPercentages(); }
bool GetCarryoutProcedureTagBoolean(int tag) { return general().TagBit(TGeneralSettingsRec::kCarryoutBitsOffset, tag); }
void SetCarryoutProcedureTagBoolean(int tag, bool on)
{
    modifyGeneral([&](TGeneralSettingsRec& g) { g.SetTagBit(TGeneralSettingsRec::kCarryoutBitsOffset, tag, on); });
}
uint8_t GetTimeLinePlotBase() { return general().TimeLinePlotBase(); }
uint8_t GetTimeLinePlotBaseRounding() { return general().TimeLinePlotBaseRounding(); }
bool GetAskWhetherToSaveModifiedData() { return general().AskWhetherToSaveModifiedData(); }
int32_t GetAutoSaveMinutes() { return general().AutoSaveMinutes(); }
bool GetRestrictTo3LetterExtensions() { return general().RestrictTo3LetterExtensions(); }

// ---- menus ------------------------------------------------------------------------------------------

bool GetMenuItemChecked(int tag) { return general().TagBit(TGeneralSettingsRec::kMenuCheckedBitsOffset, tag); }
void SetMenuItemChecked(int tag, bool checked)
{
    modifyGeneral([&](TGeneralSettingsRec& g) { g.SetTagBit(TGeneralSettingsRec::kMenuCheckedBitsOffset, tag, checked); });
}
bool GetMenuAltered() { return general().MenuAltered(); }
void SetMenuAltered(bool a) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetMenuAltered(a); }); }
uint16_t GetMenuShortcut(int tag) { return general().Shortcut(tag); }
void SetMenuShortcut(int tag, uint16_t s) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetShortcut(tag, s); }); }
bool GetPopupMenuTagInUse(int tag) { return general().TagBit(TGeneralSettingsRec::kPopupInUseBitsOffset, tag); }
void SetPopupMenuTagInUse(int tag, bool inUse)
{
    modifyGeneral([&](TGeneralSettingsRec& g) { g.SetTagBit(TGeneralSettingsRec::kPopupInUseBitsOffset, tag, inUse); });
}
void ClearPopupMenuTagsInUse()
{
    modifyGeneral([&](TGeneralSettingsRec& g) {
        for (int tag = 0; tag < TGeneralSettingsRec::kMenuTags; ++tag)
            g.SetTagBit(TGeneralSettingsRec::kPopupInUseBitsOffset, tag, false);
    });
}

std::array<uint16_t, TGeneralSettingsRec::kShortcutTags> GetMenuCurrentShortcuts()
{
    const TGeneralSettingsRec g = general();
    std::array<uint16_t, TGeneralSettingsRec::kShortcutTags> table{};
    for (int tag = 0; tag < TGeneralSettingsRec::kShortcutTags; ++tag)
        table[size_t(tag)] = g.Shortcut(tag);
    return table;
}
uint8_t GetKeypressMode() { return general().KeypressMode(); }
void SetKeyPressMode(uint8_t mode) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetKeypressMode(mode); }); }
uint8_t GetDisplayWordsPerMillion() { return general().DisplayWordsPerMillion(); }
void SetDisplayWordsPerMillion(uint8_t mode) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetDisplayWordsPerMillion(mode); }); }
uint8_t GetCVHelpAccessMode() { return general().HelpAccessMode(); }
void SetCVHelpAccessMode(uint8_t mode) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetHelpAccessMode(mode); }); }
QString GetCVHelpBaseAddress() { return general().HelpBaseAddress(); }
void SetCVHelpBaseAddress(const QString& a) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetHelpBaseAddress(a); }); }

// ---- edit controls --------------------------------------------------------------------------------

bool GetDeadKeyListCustomised() { return general().DeadKeyListCustomised(); }
void SetDeadKeyListCustomised(bool wanted)
{
    modifyGeneral([&](TGeneralSettingsRec& g) { g.SetDeadKeyListCustomised(wanted); });
}
QString GetKeyboardChoice() { return general().KeyboardChoice(); }
void SetKeyboardChoice(const QString& layout) { modifyGeneral([&](TGeneralSettingsRec& g) { g.SetKeyboardChoice(layout); }); }
uint8_t GetOpenAndSaveDialogOption() { return general().OpenAndSaveDialogOption(); }
void SetOpenAndSaveDialogOption(uint8_t option)
{
    modifyGeneral([&](TGeneralSettingsRec& g) { g.SetOpenAndSaveDialogOption(option); });
}

} // namespace cv
