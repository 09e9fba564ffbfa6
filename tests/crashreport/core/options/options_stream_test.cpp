#include "crashreport/core/options/options_stream.h"

#include "crashreport/core/crashbox_testutil.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/profile_file.h"
#include "support/le_bytes.h"

#include <gtest/gtest.h>

#include <QFile>

#include <sys/stat.h>

namespace {

using namespace cv;

// Little-endian fields and the options stream's masked strings.
struct OptionsBytes {
    std::vector<uint8_t> bytes;
    OptionsBytes& u8(uint8_t v)
    {
        bytes.push_back(v);
        return *this;
    }
    OptionsBytes& u16(uint16_t v) { return u8(uint8_t(v)).u8(uint8_t(v >> 8)); }
    OptionsBytes& i32(int32_t v)
    {
        const auto u = uint32_t(v);
        return u16(uint16_t(u)).u16(uint16_t(u >> 16));
    }
    OptionsBytes& s(std::string_view text)
    {
        i32(int32_t(text.size()));
        for (char c : text)
            u8(uint8_t(c) ^ kOptionsStringMask);
        return *this;
    }
    OptionsBytes& flag(bool v) { return u8(v ? 1 : 0); }
    OptionsBytes& raw(std::initializer_list<uint8_t> values)
    {
        bytes.insert(bytes.end(), values);
        return *this;
    }
};

std::vector<uint8_t> StreamOf(const TCrashboxModuleOptions& options)
{
    TMemoryStream stream;
    EXPECT_TRUE(options.SaveToStream(stream));
    return stream.Bytes();
}

// The show options as "0"/"1", member 0 first.
std::string ShowBits(const TCrashboxModuleOptions& o)
{
    std::string show;
    for (int k = 0; k < kShowOptionCount; ++k)
        show += o.ShowOptions().Contains(TShowOption(k)) ? '1' : '0';
    return show;
}

bool Load(TCrashboxModuleOptions& o, const std::vector<uint8_t>& bytes, uint16_t version, std::string* error = nullptr)
{
    TMemoryStream stream(bytes);
    const bool loaded = o.LoadFromStreamOfVersion(stream, version, error);
    // A stream that reads is read to its end, and not beyond.
    if (loaded) {
        EXPECT_EQ(stream.Position(), stream.Size()) << "version " << version;
    }
    return loaded;
}

std::string Special(int i)
{
    // "%", control characters, "<", ">", "&", "-", characters beyond ASCII,
    // one beyond the 16 bits, and a byte that is no UTF-8.
    return "100% sure\t<b>&-x</b> \x01\x1F\x7F caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xFF n" + std::to_string(i);
}

void Customise(TCrashboxModuleOptions& o)
{
    o.SetActivateLog(true);
    o.SetLogOptions({loNoDuplicateErrors, loSaveAssemblerAndCPUSections});
    o.SetForegroundTab(ftAssembler);
    o.SetFreezeActivate(true);
    o.SetFreezeTimeout(-5);
    o.SetSMTPFrom("from@x.test");
    o.SetSMTPPort(65535);
    o.SetTerminateBtnOperation(tbNone);
    o.SetErrorsNumberToSave(int32_t(0x80000000));
    o.SetEMailSendMode(esmSMTPClient);
    o.SetShowOptions({soAppStartDate, soOSCharset, soCustomData});
    o.SetOutputPath("/logs/\xC3\xA9");
    o.SetWebSendMode(wsmBugZilla);
    o.SetWebPort(-1);
    o.SetCommonSendOptions({sndAddComputerNameInFileName});
    o.SetExceptionDialogOptions({edoShowCustomButton});
    o.SetCallStackOptions({csoDoNotStoreProcNames});
    o.SetBehaviourOptions({boCatchHandledExceptions});
    o.SetAutoCrashOperation(tbTerminate);
    o.SetCompiledFileOptions({cfoUseEL7});
    o.SetExceptionDialogType(edtNone);
    o.SetProxyPort(1);
    o.SetZipPassword("zip");
    o.SetEMailMessage("two\r\nlines\r\n");
    o.SetTextsCollection("Mine");
    for (int i = 0; i < kMessageTypeCount; ++i)
        o.SetCustomizedTexts(TMessageType(i), Special(i));
    const TCrashboxExceptionFilter filters[] = {
        {true, "EAccessViolation", "", fetAll, fdtNone, fhtNone, fatNone},
        {false, "EDivByZero", "by zero", fetHandled, fdtCrashbox, fhtCrashbox, fatRestart},
        {true, "", "\xC3\xA9", fetUnhandled, fdtUnchanged, fhtRTL, fatTerminate}};
    for (const auto& f : filters)
        o.ExceptionsFilters().Add(f);
}

TEST(OptionsStream, TheDefaultsAreStoredAsTheKeptFileHasThem)
{
    const QByteArray kept = cvtest::readAll(cvtest::testDataDir() + "/crashreport/options-6103-defaults.bin");
    ASSERT_FALSE(kept.isEmpty());
    TCrashboxModuleOptions o("");
    EXPECT_EQ(cvtest::toBytes(StreamOf(o)), kept);
    // And read back: every option at its default.
    TCrashboxModuleOptions changed("");
    Customise(changed);
    ASSERT_TRUE(Load(changed, std::vector<uint8_t>(kept.begin(), kept.end()), 6103));
    EXPECT_EQ(StreamOf(changed), StreamOf(o));
}

TEST(OptionsStream, EveryFieldStandsInItsPlace)
{
    TCrashboxModuleOptions o("");
    Customise(o);
    OptionsBytes e;
    e.flag(true).flag(true).raw({0x21}).flag(false).flag(true).u8(ftAssembler).flag(true).i32(-5);
    e.s("from@x.test").s("").u16(65535).s("").s("").u8(tbNone);
    e.i32(int32_t(0x80000000)).i32(3).s("").s("").u8(esmSMTPClient);
    e.raw({0x01, 0x00, 0x00, 0x00, 0x00, 0x81}).s("/logs/\xC3\xA9");
    e.u8(wsmBugZilla).s("").s("").s("").i32(-1).s("").raw({0x00, 0x02}).raw({0x00, 0x02}).i32(0);
    e.s("").s(kDefaultHTMLLayout).raw({0x10}).raw({0x00, 0x01}).raw({0x1E}).u8(tbTerminate).i32(10).i32(1);
    e.raw({0x04}).u8(edtNone).s("").s("").s("").u16(1).s("").s("").s("").s("").s("").s("").s("zip");
    e.i32(3);
    e.flag(true).s("EAccessViolation").s("").u8(fetAll).u8(fdtNone).u8(fhtNone).u8(fatNone);
    e.flag(false).s("EDivByZero").s("by zero").u8(fetHandled).u8(fdtCrashbox).u8(fhtCrashbox).u8(fatRestart);
    e.flag(true).s("").s("\xC3\xA9").u8(fetUnhandled).u8(fdtUnchanged).u8(fhtRTL).u8(fatTerminate);
    e.s("two\r\nlines\r\n"); // its first line break is not its last: kept whole
    for (int i = 0; i < kMessageTypeCount; ++i)
        e.s(Special(i));
    e.s("Mine");
    EXPECT_EQ(StreamOf(o), e.bytes);
}

TEST(OptionsStream, OneTrailingLineBreakOfAStringIsDropped)
{
    const std::pair<std::string, std::string> cases[] = {
        {"abcd\r\n", "abcd"}, {"a\r\nb\r\n", "a\r\nb\r\n"}, {"\r\n", ""}, {"x", "x"}, {"\n", "\n"}, {"", ""}};
    for (const auto& [text, stored] : cases) {
        TMemoryStream stream;
        ASSERT_TRUE(WriteOptionsString(stream, text));
        EXPECT_EQ(stream.Size(), int64_t(4 + stored.size())) << text;
        stream.SetPosition(0);
        std::string back;
        ASSERT_TRUE(ReadOptionsString(stream, back));
        EXPECT_EQ(back, stored);
    }
    // A length of 0 or less is the empty text.
    TMemoryStream negative(OptionsBytes().i32(-7).bytes);
    std::string text = "old";
    EXPECT_TRUE(ReadOptionsString(negative, text));
    EXPECT_EQ(text, "");
}

TEST(OptionsStream, AStreamReadsBackIntoEqualOptions)
{
    TCrashboxModuleOptions source("");
    Customise(source);
    source.SetReproduceText("steps");
    TCrashboxModuleOptions target("");
    target.SetReproduceText("mine");
    target.SetPreBuildEvent("make");
    target.SetActive(false);
    target.SetForcedTerminateBtnOperation(tbRestart);
    SetOptionsVersion(kCurrentOptionsVersion);
    TMemoryStream stream(StreamOf(source));
    ASSERT_TRUE(target.LoadFromStream(stream));
    EXPECT_EQ(StreamOf(target), StreamOf(source));
    EXPECT_EQ(target.ExceptionsFilters(), source.ExceptionsFilters());
    EXPECT_EQ(target.CustomizedTexts(), source.CustomizedTexts());
    // Not streamed: these stay as they were.
    EXPECT_EQ(target.ReproduceText(), "mine");
    EXPECT_EQ(target.PreBuildEvent(), "make");
    EXPECT_FALSE(target.Active());
    EXPECT_EQ(target.UpdateDepth(), 0);
}

TEST(OptionsStream, OptionsBlocksAreKnownByTheirMagicAndVersion)
{
    EXPECT_TRUE(IsOptionsMagic(0x100FAB10));
    EXPECT_TRUE(IsOptionsMagic(0x000FAB10));
    EXPECT_FALSE(IsOptionsMagic(0x100FAB11));
    EXPECT_TRUE(IsCompatibleOptionsVersion(6100));
    EXPECT_TRUE(IsCompatibleOptionsVersion(6200));
    EXPECT_FALSE(IsCompatibleOptionsVersion(6099));
    EXPECT_FALSE(IsCompatibleOptionsVersion(6201));
}

// An older layout, written as the algorithm of that version reads it.
struct OldLayout {
    explicit OldLayout(uint16_t v) : version(v) {}
    uint16_t version;
    bool dialogSwitch = true;
    int32_t freezeTimeout = 30;
    std::string freezeMessage;
    uint8_t terminateSwitch = 1;
    uint8_t emailMode = 0;
    std::string smtpHost;
    std::vector<uint8_t> showBytes;
    uint8_t foregroundTab = 0;
    std::vector<std::pair<std::string, std::string>> filters;
    int textCount = 0;
};

std::vector<uint8_t> WriteOldLayout(const OldLayout& l)
{
    const uint16_t v = l.version;
    OptionsBytes e;
    e.flag(true).flag(false).raw({0x01});
    if (v < 500)
        e.flag(v < 450 ? !l.dialogSwitch : l.dialogSwitch);
    e.flag(true);
    if (v >= 450 && v < 500)
        e.raw({1, 0, 0}); // entire log on, screenshot and send dialog off
    if (v >= 401)
        e.flag(false).u8(l.foregroundTab);
    if (v >= 403 && v < 500)
        e.flag(true); // look and feel
    if (v >= 420) {
        e.flag(true).i32(l.freezeTimeout);
        if (v < 6000)
            e.s(l.freezeMessage);
        if (v >= 450)
            e.s("old@x.test");
        e.s(l.smtpHost);
    }
    if (v >= 450)
        e.u16(587);
    if (v >= 421)
        e.s("u").s("p").u8(tbTerminate);
    if (v < 6000)
        e.u8(l.terminateSwitch);
    e.i32(7).i32(2).s("a@x.test").s("Subject").u8(l.emailMode);
    for (uint8_t byte : l.showBytes)
        e.u8(byte);
    if (v < 450)
        e.u8(0xEE); // read and ignored
    e.s("/old/logs");
    if (v >= 500) {
        e.u8(wsmFTP).s("ftp://x.test").s("wu").s("wp").i32(21).s("att.txt");
        e.raw({0x11, 0x02}); // send dialog, screenshot; computer name in the file name
        if (v < 6000)
            e.raw({0x09});
        else
            e.raw({0x09, 0x02});
        e.i32(15).s("https://help.test").s("<%HTML_TAG%>").raw({0x01});
        if (v < 6000)
            e.raw({0x10});
        else
            e.raw({0x10, 0x01}).raw({0x01});
        e.u8(tbNone).i32(3).i32(5);
        if (v >= 6000)
            e.raw({0x05}).u8(edtCrashbox).s("px").s("pu").s("pp").u16(81).s("1").s("2").s("3").s("4").s("5").s("6").s("7");
    }
    e.i32(int32_t(l.filters.size()));
    for (const auto& [name, message] : l.filters) {
        if (v >= 6000)
            e.flag(false);
        e.s(name).s(message);
        if (v >= 6000)
            e.raw({fetHandled, fdtMSClassic, fhtRTL, fatTerminate});
    }
    e.s("Body");
    for (int i = 0; i < l.textCount; ++i)
        e.s("text " + std::to_string(i));
    if (v >= 6000)
        e.s("Old texts");
    return e.bytes;
}

TEST(OptionsStream, AVersion421StreamIsConverted)
{
    OldLayout l{421};
    l.freezeTimeout = 30000; // milliseconds then
    l.freezeMessage = "Frozen!";
    l.emailMode = 1;
    l.smtpHost = "mail.x.test";
    l.showBytes = {0xFF, 0x00, 0x00, 0x00};
    l.dialogSwitch = false;
    l.foregroundTab = 3;
    l.filters = {{"EAbort", ""}};
    l.textCount = 42;
    TCrashboxModuleOptions o("");
    ASSERT_TRUE(Load(o, WriteOldLayout(l), 421));
    EXPECT_EQ(o.FreezeTimeout(), 30);
    EXPECT_EQ(o.ExceptionDialogType(), edtNone);
    EXPECT_EQ(o.EMailSendMode(), esmSMTPClient);
    EXPECT_EQ(o.SMTPFrom(), kDefaultSMTPFrom);
    EXPECT_EQ(o.TerminateBtnOperation(), tbTerminate);
    EXPECT_EQ(o.ForegroundTab(), ftCPU);
    EXPECT_TRUE(o.ExceptionDialogOptions().Contains(edoUseCrashboxLookAndFeel));
    EXPECT_EQ(o.OutputPath(), "/old/logs");
    EXPECT_EQ(o.WebSendMode(), wsmNoSend);
    // The first 8 of 32 show options were on; the inserted groups are on too.
    const std::string expectedShow = "11111111111" "0" "1111" "000000" "1111" "0000" "111111" "00000" "1111111";
    EXPECT_EQ(ShowBits(o), expectedShow);
    // Texts: 42 strings, the 29th the dropped one before mtLog_CmpTotalMemory.
    EXPECT_EQ(o.GetCustomizedTexts(mtDialog_Caption), "text 2");
    EXPECT_EQ(o.GetCustomizedTexts(mtDialog_RestartButtonCaption), "text 10");
    EXPECT_EQ(o.GetCustomizedTexts(mtDialog_DetailsButtonCaption), "text 11");
    EXPECT_EQ(o.GetCustomizedTexts(mtLog_CmpName), "text 27");
    EXPECT_EQ(o.GetCustomizedTexts(mtLog_CmpFreeMemory), "text 29");
    EXPECT_EQ(o.GetCustomizedTexts(mtCallStack_Line), "text 41");
    EXPECT_EQ(o.GetCustomizedTexts(mtLog_CmpTotalMemory), "Total Memory");
    EXPECT_EQ(o.GetCustomizedTexts(mtDialog_ModulesCaption), "Modules");
    EXPECT_EQ(o.GetCustomizedTexts(mtException_AntiFreeze), "Frozen!");
    EXPECT_EQ(o.TextsCollection(), "English");
    ASSERT_EQ(o.ExceptionsFilters().Count(), 1);
    EXPECT_EQ(o.ExceptionsFilters()[0], (TCrashboxExceptionFilter{true, "EAbort", "", fetUnhandled, fdtNone, fhtNone, fatNone}));
}

TEST(OptionsStream, AVersion5000StreamIsConverted)
{
    OldLayout l{5000};
    l.terminateSwitch = 0;
    l.emailMode = 1;
    l.showBytes = {0xFF, 0xFF, 0xFF, 0xFF, 0x00}; // 40 bits stored, the last 8 off
    l.foregroundTab = 3;
    l.filters = {{"EAbort", ""}, {"EInOutError", "disk full"}};
    l.textCount = 95;
    TCrashboxModuleOptions o("");
    ASSERT_TRUE(Load(o, WriteOldLayout(l), 5000));
    EXPECT_EQ(o.TerminateBtnOperation(), tbNone);
    EXPECT_EQ(o.EMailSendMode(), esmEmailClient);
    EXPECT_EQ(o.ExceptionDialogType(), edtMSClassic);
    EXPECT_EQ(o.ForegroundTab(), ftCPU);
    EXPECT_EQ(o.SMTPFrom(), "old@x.test");
    EXPECT_EQ(o.SMTPPort(), 587);
    // The seven inserted groups on, the stored bits moved to their places.
    EXPECT_EQ(ShowBits(o), std::string(46, '1') + "01");
    EXPECT_EQ(o.CommonSendOptions(), (TCommonSendOptions{sndShowSendDialog, sndSendScreenshot}));
    EXPECT_EQ(o.ExceptionDialogOptions(), (TExceptionDialogOptions{edoSendErrorReportChecked, edoShowDetailsButton}));
    EXPECT_EQ(o.CallStackOptions(), (TCallStackOptions{csoShowDLLs, csoDoNotStoreProcNames}));
    EXPECT_EQ(o.BehaviourOptions(), (TBehaviourOptions{boCopyLogInCaseOfError}));
    EXPECT_EQ(o.LeaksOptions(), TCrashboxModuleOptions("").LeaksOptions());
    EXPECT_EQ(o.WebPort(), 21);
    EXPECT_EQ(o.HTMLLayout(), "<%HTML_TAG%>");
    EXPECT_EQ(o.ProxyPort(), 8080);
    ASSERT_EQ(o.ExceptionsFilters().Count(), 2);
    EXPECT_EQ(o.ExceptionsFilters()[0].DialogType, fdtNone);
    EXPECT_EQ(o.ExceptionsFilters()[1].DialogType, fdtMessageBox);
    EXPECT_EQ(o.ExceptionsFilters()[1].ExceptionType, fetUnhandled);
    EXPECT_TRUE(o.ExceptionsFilters()[1].Active);
    EXPECT_EQ(o.GetCustomizedTexts(mtDialog_ModulesCaption), "text 8");
    EXPECT_EQ(o.GetCustomizedTexts(mtLog_CmpTotalMemory), "text 38");
    EXPECT_EQ(o.GetCustomizedTexts(mtSendDialog_Caption), "text 74");
    EXPECT_EQ(o.GetCustomizedTexts(mtSend_FailureMsg), "text 94");
    EXPECT_EQ(o.GetCustomizedTexts(mtDialog_OKButtonCaption), "&OK");
    EXPECT_EQ(o.GetCustomizedTexts(mtException_AntiFreeze), "The application seems to be frozen.");
}

TEST(OptionsStream, StreamsOfEveryVersionReadToTheirEnd)
{
    // Versions on both sides of each change of layout, and their text counts.
    const std::pair<uint16_t, int> versions[] = {{400, 40}, {401, 40}, {403, 40}, {420, 41}, {421, 42}, {422, 42},
                                                 {449, 42}, {450, 71}, {499, 71}, {500, 95}, {5999, 95},
                                                 {6000, 157}, {6103, 157}};
    for (const auto& [version, texts] : versions) {
        OldLayout l{version};
        l.showBytes.assign(version >= 6000 ? 6 : version >= 500 ? 5 : 4, 0);
        l.filters = {{"E", "m"}};
        l.textCount = texts;
        TCrashboxModuleOptions o("");
        std::string error;
        EXPECT_TRUE(Load(o, WriteOldLayout(l), version, &error)) << version << ": " << error;
        EXPECT_EQ(o.FreezeTimeout(), version >= 420 ? (version < 422 ? 0 : 30) : 60) << version;
        if (version >= 6000) {
            EXPECT_EQ(o.GetCustomizedTexts(mtInvalidEmailMsg), "text 156");
            EXPECT_EQ(o.TextsCollection(), "Old texts");
            EXPECT_EQ(o.ExceptionsFilters()[0], (TCrashboxExceptionFilter{false, "E", "m", fetHandled, fdtMSClassic, fhtRTL, fatTerminate}));
            EXPECT_EQ(o.ExceptionDialogType(), edtCrashbox);
        }
    }
}

TEST(OptionsStream, ABrokenStreamChangesNothing)
{
    TCrashboxModuleOptions source("");
    Customise(source);
    const std::vector<uint8_t> full = StreamOf(source);
    TCrashboxModuleOptions target("");
    const std::vector<uint8_t> before = StreamOf(target);
    // Cut anywhere, the stream fails and the options stay as they were.
    for (std::size_t n = 0; n < full.size(); n += (n < 400 ? 1 : 37)) {
        std::string error;
        ASSERT_FALSE(Load(target, std::vector<uint8_t>(full.begin(), full.begin() + std::ptrdiff_t(n)), 6103, &error)) << n;
        EXPECT_NE(error.find("ends early"), std::string::npos) << error;
    }
    EXPECT_EQ(StreamOf(target), before);
    EXPECT_EQ(target.UpdateDepth(), 0);

    struct Damage {
        std::size_t offset;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    const std::size_t smtpFrom = 11; // after 7 one-byte fields and the timeout
    const Damage damages[] = {
        {5, {9}, "unknown value 9"},                         // ForegroundTab
        {smtpFrom, {0xFF, 0xFF, 0xFF, 0x7F}, "ends early"},  // a string longer than the stream
        {full.size() - 4 - 4, {0x00, 0x00, 0x00, 0x7F}, "ends early"},
    };
    for (const Damage& d : damages) {
        std::vector<uint8_t> bad = full;
        std::copy(d.bytes.begin(), d.bytes.end(), bad.begin() + std::ptrdiff_t(d.offset));
        std::string error;
        EXPECT_FALSE(Load(target, bad, 6103, &error));
        EXPECT_NE(error.find(d.reason), std::string::npos) << error;
    }
    EXPECT_EQ(StreamOf(target), before);
    // A filter count the rest of the stream cannot hold.
    OldLayout l{6103};
    l.showBytes.assign(6, 0);
    l.textCount = 157;
    std::vector<uint8_t> bad = WriteOldLayout(l);
    // Before it: the texts collection, the texts, the message body.
    std::size_t countAt = bad.size() - (4 + 9) - (4 + 4) - 4;
    for (int i = 0; i < 157; ++i)
        countAt -= 4 + ("text " + std::to_string(i)).size();
    ASSERT_EQ(cvtest::LEAt<int32_t>(bad, countAt), 0);
    bad[countAt + 3] = 0x10;
    std::string error;
    EXPECT_FALSE(Load(target, bad, 6103, &error));
    EXPECT_NE(error.find("filter count"), std::string::npos) << error;
    EXPECT_EQ(StreamOf(target), before);
}

struct OptionFiles : cvtest::CrashboxFolders {};

TEST_F(OptionFiles, OptionsSaveToAFileAndLoadFromIt)
{
    TCrashboxModuleOptions source("");
    Customise(source);
    const std::string file = path("module.options");
    ASSERT_TRUE(source.SaveToFile(file));
    EXPECT_EQ(cvtest::toBytes(StreamOf(source)), cvtest::readAll(QString::fromStdString(file)));
    TCrashboxModuleOptions target("");
    SetOptionsVersion(kCurrentOptionsVersion);
    ASSERT_TRUE(target.LoadFromFile(file));
    EXPECT_EQ(StreamOf(target), StreamOf(source));
    std::string error;
    EXPECT_FALSE(target.LoadFromFile(path("missing.options"), &error));
    EXPECT_NE(error.find("missing.options"), std::string::npos);
    dir.write(QStringLiteral("short.options"), "\x01\x01");
    EXPECT_FALSE(target.LoadFromFile(path("short.options"), &error));
    EXPECT_NE(error.find("short.options"), std::string::npos);
    EXPECT_EQ(StreamOf(target), StreamOf(source));
}

TEST_F(OptionFiles, AnOptionsFileHoldingPasswordsIsItsUsersAlone)
{
    // The passwords in it are only XOR-ed: the file's mode is their protection.
    TCrashboxModuleOptions source("");
    source.SetSMTPPassword("secret");
    source.SetWebPassword("secret too");
    const std::string file = path("module.options");
    ASSERT_TRUE(source.SaveToFile(file));
    EXPECT_EQ(cvtest::modeOf(QString::fromStdString(file)), 0600u);
    // Also when it replaces a file others could read.
    ::chmod(file.c_str(), 0644);
    ASSERT_TRUE(source.SaveToFile(file));
    EXPECT_EQ(cvtest::modeOf(QString::fromStdString(file)), 0600u);
}

struct TextsEncoding {
    const char* text;
    const char* stored;
};

class TextsFileEncoding : public ::testing::TestWithParam<TextsEncoding> {};

TEST_P(TextsFileEncoding, TextsAreStoredEscapedAndComeBack)
{
    EXPECT_EQ(EncodeTextsFileText(GetParam().text), GetParam().stored);
    EXPECT_EQ(DecodeTextsFileText(GetParam().stored), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextsFileEncoding,
    ::testing::Values(TextsEncoding{"50%", "50%%"}, TextsEncoding{"a<b>&c-d", "a%U003Cb%U003E%U0026c%U002Dd"},
                      TextsEncoding{"two\r\nlines", "two\r\nlines"}, TextsEncoding{"tab\there", "tab%U0009here"},
                      TextsEncoding{"lone\nfeed", "lone%U000Afeed"}, TextsEncoding{"caf\xC3\xA9", "caf%U00E9"},
                      TextsEncoding{"\xF0\x9F\x98\x80", "%UD83D%UDE00"}, TextsEncoding{"bad\xFF", "bad%FF"},
                      TextsEncoding{"<!-- Crashbox First Line\r\n1 < 2 %\r\nCrashbox Last Line -->",
                                    "<!-- Crashbox First Line\r\n1 %U003C 2 %%\r\nCrashbox Last Line -->"},
                      TextsEncoding{"<p>\r\n<!-- Crashbox First Line\r\n<b>\r\nCrashbox Last Line --></p>",
                                    "<p>\r\n<!-- Crashbox First Line\r\n%U003Cb%U003E\r\nCrashbox Last Line --></p>"}));

TEST(TextsFileDecoding, TextsWrittenByHandAreTakenAsTheyStand)
{
    EXPECT_EQ(DecodeTextsFileText("50% off"), "50% off");
    EXPECT_EQ(DecodeTextsFileText("<b>%%</b>"), "<b>%%</b>");
    EXPECT_EQ(DecodeTextsFileText("%U00E"), "%U00E");
    EXPECT_EQ(DecodeTextsFileText("%41%42"), "AB");
    EXPECT_EQ(DecodeTextsFileText("%%41"), "%41");
}

TEST_F(OptionFiles, TheTextsFileKeepsEveryTextAndNamesTheCollection)
{
    TCrashboxModuleOptions source("");
    for (int i = 0; i < kMessageTypeCount; ++i)
        source.SetCustomizedTexts(TMessageType(i), Special(i));
    source.SetCustomizedTexts(mtDialog_Caption, "ends with a break\r\n");
    source.SetCustomizedTexts(mtDialog_GeneralCaption, "");
    source.SetCustomizedTexts(mtDialog_CPUCaption, "\"quoted\"");
    ASSERT_TRUE(source.SaveCustomizedTextsToFile("German.lng"));
    EXPECT_EQ(source.TextsCollection(), "German");
    const std::string file = settingsFolder() + "/German.lng";
    TProfileFile profile;
    ASSERT_TRUE(profile.Load(file));
    EXPECT_EQ(profile.Read(kTextsFileSection, "Count mtInformationMsgCaption"), "1");
    EXPECT_EQ(profile.Read(kTextsFileSection, "Count mtDialog_Caption"), "2");
    EXPECT_EQ(profile.Read(kTextsFileSection, "mtDialog_Caption0"), "\"ends with a break\"");
    EXPECT_EQ(profile.Read(kTextsFileSection, "mtInformationMsgCaption0").value_or("").substr(0, 10), "\"100%% sur");

    TCrashboxModuleOptions target("");
    ASSERT_TRUE(target.LoadCustomizedTextsFromFile("German.lng"));
    EXPECT_EQ(target.CustomizedTexts(), source.CustomizedTexts());
    EXPECT_EQ(target.TextsCollection(), "German");
}

TEST_F(OptionFiles, MissingCountsAndLinesKeepTheTextsThereAre)
{
    ASSERT_TRUE(ForceFolders(settingsFolder()));
    dir.write(QStringLiteral("config/Crashbox/Hand.lng"), "[Exception Log]\n"
                                                          "Count mtDialog_Caption=2\n"
                                                          "mtDialog_Caption0=\"Fault\"\n"
                                                          "Count mtErrorMsgCaption=0\n"
                                                          "mtErrorMsgCaption0=\"never read\"\n"
                                                          "Count mtQuestionMsgCaption=99999999\n"
                                                          "mtQuestionMsgCaption0=\"too many\"\n"
                                                          "Count mtInformationMsgCaption=1\n"
                                                          "mtInformationMsgCaption0=\"50% off <b>\"\n");
    TCrashboxModuleOptions o("");
    ASSERT_TRUE(o.LoadCustomizedTextsFromFile("Hand.lng"));
    // A missing line stands for the whole text as it was.
    EXPECT_EQ(o.GetCustomizedTexts(mtDialog_Caption), "Fault\r\nError occurred");
    EXPECT_EQ(o.GetCustomizedTexts(mtErrorMsgCaption), "Error.");
    EXPECT_EQ(o.GetCustomizedTexts(mtQuestionMsgCaption), "Question.");
    EXPECT_EQ(o.GetCustomizedTexts(mtInformationMsgCaption), "50% off <b>");
    EXPECT_EQ(o.TextsCollection(), "Hand");
}

TEST_F(OptionFiles, TextsFilesThatCannotBeReachedAreAClearFailure)
{
    // Both the settings folder and the data folder are files: nothing can be written or read.
    dir.write(QStringLiteral("config"), "blocked");
    dir.write(QStringLiteral("data"), "blocked");
    TCrashboxModuleOptions o("");
    std::string error;
    EXPECT_FALSE(o.SaveCustomizedTextsToFile("English.lng", &error));
    EXPECT_NE(error.find("English.lng"), std::string::npos);
    EXPECT_FALSE(o.LoadCustomizedTextsFromFile("English.lng", &error));
    EXPECT_NE(error.find("English.lng"), std::string::npos);
    EXPECT_EQ(o.TextsCollection(), "English");
    EXPECT_EQ(cvtest::readAll(dir.file(QStringLiteral("config"))), "blocked");
    // A texts file named outright that is a folder cannot be read either; the texts stay.
    ASSERT_TRUE(ForceFolders(path("folder.lng")));
    EXPECT_FALSE(o.LoadCustomizedTextsFromFile(path("folder.lng"), &error));
    EXPECT_EQ(o.CustomizedTexts(), DefaultCustomizedTexts());
}

} // namespace
