#include "controller/controller_ini.h"

#include "files/save_file.h"
#include "gui/menu_shortcuts.h"
#include "runtime/language_list.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "suite/wdef.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <functional>
#include <vector>

namespace cv {

namespace {

bool parseBool(const QString& v, bool* out)
{
    const QString s = v.trimmed().toLower();
    if (s == QLatin1String("true") || s == QLatin1String("1") || s == QLatin1String("yes") || s == QLatin1String("on"))
        *out = true;
    else if (s == QLatin1String("false") || s == QLatin1String("0") || s == QLatin1String("no") || s == QLatin1String("off"))
        *out = false;
    else
        return false;
    return true;
}

QString boolText(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

// A colour as the ini file and the windows write it: "#RRGGBB" (the settings keep 0xAARRGGBB, opaque).
QString colourText(uint32_t argb) { return QColor::fromRgba(argb).name(QColor::HexRgb).toUpper(); }
bool parseColour(const QString& v, uint32_t* out)
{
    const QColor c = QColor::fromString(v.trimmed());
    if (!c.isValid())
        return false;
    *out = c.rgba() | 0xFF000000u;
    return true;
}

// Keys of one settings record: Rec is read with getRec, changed, written with setRec.
template <typename Rec>
struct TRecordKeys {
    std::vector<TSettingKey>& keys;
    QString section;
    Rec (*getRec)();
    void (*setRec)(const Rec&);

    // show: the field as ini text; parse: the ini text into the field (false: not valid).
    TSettingKey& Add(const char* name, const char* caption, TSettingKind kind, std::function<QString(const Rec&)> show,
                     std::function<bool(Rec&, const QString&)> parse)
    {
        auto g = getRec;
        auto s = setRec;
        TSettingKey k;
        k.key = section + QLatin1Char('/') + QLatin1String(name);
        k.caption = QString::fromUtf8(caption);
        k.kind = kind;
        k.get = [=] { return show(g()); };
        k.set = [=](const QString& v) {
            Rec r = g();
            if (!parse(r, v.trimmed()))
                return false;
            s(r);
            return true;
        };
        keys.push_back(std::move(k));
        return keys.back();
    }
    void Int(const char* name, const char* caption, int64_t lo, int64_t hi, std::function<int64_t(const Rec&)> get,
             std::function<void(Rec&, int64_t)> set, TSettingKind kind = TSettingKind::Int, QStringList choices = {})
    {
        TSettingKey& k = Add(
            name, caption, kind, [=](const Rec& r) { return QString::number(get(r)); },
            [=](Rec& r, const QString& v) {
                bool ok = false;
                const qlonglong n = v.toLongLong(&ok);
                if (!ok || n < lo || n > hi)
                    return false;
                set(r, n);
                return true;
            });
        k.lo = lo;
        k.hi = hi;
        k.choices = std::move(choices);
    }
    void Choice(const char* name, const char* caption, QStringList choices, std::function<int64_t(const Rec&)> get,
                std::function<void(Rec&, int64_t)> set)
    {
        const int64_t hi = choices.size() - 1;
        Int(name, caption, 0, hi, std::move(get), std::move(set), TSettingKind::Choice, std::move(choices));
    }
    void Float(const char* name, const char* caption, std::function<float(const Rec&)> get, std::function<void(Rec&, float)> set)
    {
        Add(name, caption, TSettingKind::Float, [=](const Rec& r) { return QString::number(double(get(r)), 'g', 9); },
            [=](Rec& r, const QString& v) {
                bool ok = false;
                const float f = v.toFloat(&ok);
                if (ok)
                    set(r, f);
                return ok;
            });
    }
    void Bool(const char* name, const char* caption, std::function<bool(const Rec&)> get, std::function<void(Rec&, bool)> set)
    {
        Add(name, caption, TSettingKind::Bool, [=](const Rec& r) { return boolText(get(r)); },
            [=](Rec& r, const QString& v) {
                bool b = false;
                if (!parseBool(v, &b))
                    return false;
                set(r, b);
                return true;
            });
    }
    void Text(const char* name, const char* caption, std::function<QString(const Rec&)> get,
              std::function<void(Rec&, const QString&)> set, TSettingKind kind = TSettingKind::Text)
    {
        Add(name, caption, kind, get, [=](Rec& r, const QString& v) {
            set(r, v);
            return true;
        });
    }
    void Colour(const char* name, const char* caption, std::function<uint32_t(const Rec&)> get,
                std::function<void(Rec&, uint32_t)> set)
    {
        Add(name, caption, TSettingKind::Colour, [=](const Rec& r) { return colourText(get(r)); },
            [=](Rec& r, const QString& v) {
                uint32_t c = 0;
                if (!parseColour(v, &c))
                    return false;
                set(r, c);
                return true;
            });
    }
};

// The menus' customised state as ini text, and back: "1=Ctrl+F2, 3=Ctrl+O"
// for the shortcuts by menu tag, "12, 22, 170" for the right-click commands.
// A value that cannot be read changes nothing.
QString MenuShortcutsText()
{
    const TGeneralSettingsRec g = GetGeneralSettings();
    QStringList pairs;
    for (int tag = 0; tag < TGeneralSettingsRec::kShortcutTags; ++tag)
        if (const QString text = ShortCutToText(g.Shortcut(tag)); !text.isEmpty())
            pairs << QStringLiteral("%1=%2").arg(tag).arg(text);
    return pairs.join(QStringLiteral(", "));
}

bool SetMenuShortcutsFromText(const QString& text)
{
    TGeneralSettingsRec g = GetGeneralSettings();
    for (int tag = 0; tag < TGeneralSettingsRec::kShortcutTags; ++tag)
        g.SetShortcut(tag, 0);
    for (const QString& pair : text.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        bool ok = false;
        const int tag = pair.left(eq).trimmed().toInt(&ok);
        const uint16_t shortcut = eq > 0 ? TextToShortCut(pair.mid(eq + 1)) : 0;
        if (!ok || tag < 0 || tag >= TGeneralSettingsRec::kShortcutTags || shortcut == 0)
            return false;
        g.SetShortcut(tag, shortcut);
    }
    SetGeneralSettings(g);
    return true;
}

QString RightClickCommandsText()
{
    const TGeneralSettingsRec g = GetGeneralSettings();
    QStringList tags;
    for (int tag = 0; tag < TGeneralSettingsRec::kMenuTags; ++tag)
        if (g.TagBit(TGeneralSettingsRec::kPopupInUseBitsOffset, tag))
            tags << QString::number(tag);
    return tags.join(QStringLiteral(", "));
}

bool SetRightClickCommandsFromText(const QString& text)
{
    TGeneralSettingsRec g = GetGeneralSettings();
    for (int tag = 0; tag < TGeneralSettingsRec::kMenuTags; ++tag)
        g.SetTagBit(TGeneralSettingsRec::kPopupInUseBitsOffset, tag, false);
    for (const QString& number : text.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int tag = number.trimmed().toInt(&ok);
        if (!ok || tag < 0 || tag >= TGeneralSettingsRec::kMenuTags)
            return false;
        g.SetTagBit(TGeneralSettingsRec::kPopupInUseBitsOffset, tag, true);
    }
    SetGeneralSettings(g);
    return true;
}

const std::vector<TSettingKey>& keyTable()
{
    static const std::vector<TSettingKey> keys = [] {
        std::vector<TSettingKey> k;
        constexpr int64_t kMaxInt = 2147483647;

        TRecordKeys<TGeneralSettingsRec> g{k, QStringLiteral("Suite"), &GetGeneralSettings, &SetGeneralSettings};
        g.Bool("Logging", "Tools write a log (into the log file)", [](auto& r) { return r.Logging(); },
               [](auto& r, bool v) { r.SetLogging(v); });
        g.Text("LogFile", "The tools' log file", [](auto& r) { return r.LogFilename(); },
               [](auto& r, const QString& v) { r.SetLogFilename(v); }, TSettingKind::NewFile);
        g.Text("UserFolder", "The user's own folder (dialog settings, customised lists)",
               [](auto& r) { return r.UserReadWriteFolder(); }, [](auto& r, const QString& v) { r.SetUserReadWriteFolder(v); },
               TSettingKind::Folder);
        g.Text("DefaultFolder", "Where results are saved by default", [](auto& r) { return r.DefaultFolder(); },
               [](auto& r, const QString& v) { r.SetDefaultFolder(v); }, TSettingKind::Folder);
        g.Text("HelpFile", "The help file", [](auto& r) { return r.HelpFilename(); },
               [](auto& r, const QString& v) { r.SetHelpFilename(v); }, TSettingKind::File);
        g.Int("AutoSaveMinutes", "Autosave every so many minutes (0: no autosave)", 0, 10000,
              [](auto& r) { return int64_t(r.AutoSaveMinutes()); }, [](auto& r, int64_t v) { r.SetAutoSaveMinutes(int32_t(v)); });
        g.Bool("AskWhetherToSaveModifiedData", "Ask before unsaved results are dropped",
               [](auto& r) { return r.AskWhetherToSaveModifiedData(); },
               [](auto& r, bool v) { r.SetAskWhetherToSaveModifiedData(v); });
        g.Bool("RemoveDuplicatesAutomatically", "Concordances drop duplicate lines",
               [](auto& r) { return r.RemoveDuplicatesAutomatically(); },
               [](auto& r, bool v) { r.SetRemoveDuplicatesAutomatically(v); });
        g.Int("ConcCharactersForTextOnly", "Characters per cell copied as plain text", 1, 100000,
              [](auto& r) { return int64_t(r.ConcCharactersForTextOnly()); },
              [](auto& r, int64_t v) { r.SetConcCharactersForTextOnly(int32_t(v)); });

        TRecordKeys<TTextSettings> t{k, QStringLiteral("Text"), &GetTextSettings, &SetTextSettings};
        t.Add("Language", "Language of the texts", TSettingKind::Language, [](auto& r) { return r.LanguageName(); },
              [](auto& r, const QString& v) { return ApplyLanguageByName(r, v); });
        t.Int("MinWordLength", "Shortest word counted (letters)", 1, 1000, [](auto& r) { return int64_t(r.MinWordLength()); },
              [](auto& r, int64_t v) { r.SetMinWordLength(int32_t(v)); });
        t.Int("MaxWordLength", "Longest word counted (letters)", 1, 1000, [](auto& r) { return int64_t(r.MaxWordLength()); },
              [](auto& r, int64_t v) { r.SetMaxWordLength(int32_t(v)); });
        t.Int("MaxTexts", "Most texts a job takes (0: no limit)", 0, kMaxInt, [](auto& r) { return int64_t(r.MaxTexts()); },
              [](auto& r, int64_t v) { r.SetMaxTexts(int32_t(v)); });
        t.Bool("KeepNumbers", "Numbers count as words", [](auto& r) { return r.KeepNumbers(); },
               [](auto& r, bool v) { r.SetKeepNumbers(v); });
        t.Bool("ApostrophesInWords", "An apostrophe between letters stays in the word",
               [](auto& r) { return r.ApostrophesInWords(); }, [](auto& r, bool v) { r.SetApostrophesInWords(v); });
        t.Bool("HyphensSeparateWords", "A hyphen between letters separates words",
               [](auto& r) { return r.HyphensSeparateWords(); }, [](auto& r, bool v) { r.SetHyphensSeparateWords(v); });
        t.Choice("MarkupMode", "Mark-up in the texts", {QStringLiteral("plain text"), QStringLiteral("ignore tags"),
                                                        QStringLiteral("follow the tag rules")},
                 [](auto& r) { return int64_t(r.MarkupModeByte()); }, [](auto& r, int64_t v) { r.SetMarkupModeByte(uint8_t(v)); });
        t.Bool("TranslateEntities", "Entities such as &amp; become their characters",
               [](auto& r) { return r.TranslateEntities(); }, [](auto& r, bool v) { r.SetTranslateEntities(v); });
        t.Bool("CountScriptAndStyle", "With tags ignored, what stands inside <script> and <style> counts as text",
               [](auto& r) { return r.CountScriptAndStyle(); }, [](auto& r, bool v) { r.SetCountScriptAndStyle(v); });
        t.Int("MaxTagSpan", "A tag is at most so many characters long", 1, 100000,
              [](auto& r) { return int64_t(r.MaxTagSpan()); }, [](auto& r, int64_t v) { r.SetMaxTagSpan(int32_t(v)); });
        t.Int("STTRBasis", "Words per chunk of the standardised type/token ratio", 1, 1000000,
              [](auto& r) { return int64_t(r.STTRBasis()); }, [](auto& r, int64_t v) { r.SetSTTRBasis(int32_t(v)); });
        t.Bool("DetectUtf8", "8-bit texts are tested for UTF-8 first", [](auto& r) { return r.DetectUtf8(); },
               [](auto& r, bool v) { r.SetDetectUtf8(v); });
        t.Text("FontName", "Font of the lists and texts", [](auto& r) { return r.FontName(); },
               [](auto& r, const QString& v) { r.SetFontName(v.left(100)); });
        t.Int("FontSize", "Font size (points)", 6, 72, [](auto& r) { return int64_t(r.FontSize()); },
              [](auto& r, int64_t v) { r.SetFontSize(uint8_t(v)); });

        TRecordKeys<TWordlistSettingsRec> w{k, QStringLiteral("WordList"), &GetWordlistSettings, &SetWordlistSettings};
        w.Int("MinFrequency", "Smallest frequency a word list keeps", 1, kMaxInt,
              [](auto& r) { return int64_t(r.MinFrequency()); }, [](auto& r, int64_t v) { r.SetMinFrequency(int32_t(v)); });
        w.Int("MaxFrequency", "Largest frequency a word list keeps (0: no limit)", 0, kMaxInt,
              [](auto& r) { return int64_t(r.MaxFrequency()); }, [](auto& r, int64_t v) { r.SetMaxFrequency(int32_t(v)); });
        w.Int("MinTexts", "Texts a word must occur in at least", 1, kMaxInt, [](auto& r) { return int64_t(r.MinTexts()); },
              [](auto& r, int64_t v) { r.SetMinTexts(int32_t(v)); });

        TRecordKeys<TKeyWordsSettingsRec> kw{k, QStringLiteral("KeyWords"), &GetKeywordsSettings, &SetKeywordsSettings};
        kw.Float("MaxPValue", "Largest accepted probability of a key word", [](auto& r) { return r.MaxPValue(); },
                 [](auto& r, float v) { r.SetMaxPValue(v); });
        kw.Int("MinFrequency", "Minimum frequency of a key word in the study list", 1, 32767,
               [](auto& r) { return int64_t(r.MinFrequency()); }, [](auto& r, int64_t v) { r.SetMinFrequency(int16_t(v)); });
        kw.Int("MaxKeyWordsWanted", "Most key words kept per list", 1, kMaxInt,
               [](auto& r) { return int64_t(r.MaxKeyWordsWanted()); }, [](auto& r, int64_t v) { r.SetMaxKeyWordsWanted(int32_t(v)); });
        kw.Bool("TwoWay", "Compare both ways (the reference list's words are tested too)",
                [](auto& r) { return r.TwoWay(); }, [](auto& r, bool v) { r.SetTwoWay(v); });
        kw.Text("ReferenceCorpus", "The reference word list", [](auto& r) { return r.ReferenceListName(); },
                [](auto& r, const QString& v) { r.SetReferenceListName(v); }, TSettingKind::File);
        kw.Float("TextPresencePercent", "Share of texts a key word must occur in (when that rule applies)",
                 [](auto& r) { return r.TextPresencePercent(); }, [](auto& r, float v) { r.SetTextPresencePercent(v); });

        TRecordKeys<TConcSettingsRec32> c{k, QStringLiteral("Concordance"), &GetConcSaveRec, &SetConcSaveRec};
        c.Int("EntriesWantedPerSearchWord", "Most lines per search word", 1, kMaxInt,
              [](auto& r) { return int64_t(r.EntriesWantedPerSw()); }, [](auto& r, int64_t v) { r.SetEntriesWantedPerSw(int32_t(v)); });
        c.Int("CollocHorizonLeft", "Collocate words to the left", 0, 25, [](auto& r) { return int64_t(r.CollocHorizonLeft()); },
              [](auto& r, int64_t v) { r.SetCollocHorizonLeft(int16_t(v)); });
        c.Int("CollocHorizonRight", "Collocate words to the right", 0, 25, [](auto& r) { return int64_t(r.CollocHorizonRight()); },
              [](auto& r, int64_t v) { r.SetCollocHorizonRight(int16_t(v)); });
        c.Int("CharactersPerLine", "Characters kept for each line", 20, 100000,
              [](auto& r) { return int64_t(r.CharactersPerLine()); }, [](auto& r, int64_t v) { r.SetCharactersPerLine(int32_t(v)); });
        c.Int("ClusterLengthMin", "Shortest cluster in words", 1, 25, [](auto& r) { return int64_t(r.ClusterLengthMin()); },
              [](auto& r, int64_t v) { r.SetClusterLengthMin(int16_t(v)); });
        c.Int("ClusterLengthMax", "Longest cluster in words", 1, 25, [](auto& r) { return int64_t(r.ClusterLengthMax()); },
              [](auto& r, int64_t v) { r.SetClusterLengthMax(int16_t(v)); });

        TRecordKeys<TWordlist_index_settings_rec> ix{k, QStringLiteral("Index"), &GetWordlistIndexSettings, &SetWordlistIndexSettings};
        ix.Int("ClusterSizeMin", "Smallest cluster in words", 2, 12, [](auto& r) { return int64_t(r.ClusterSizeMin()); },
               [](auto& r, int64_t v) { r.SetClusterSizeMin(int32_t(v)); });
        ix.Int("ClusterSizeMax", "Largest cluster in words", 2, 12, [](auto& r) { return int64_t(r.ClusterSizeMax()); },
               [](auto& r, int64_t v) { r.SetClusterSizeMax(int32_t(v)); });
        ix.Int("MinShowFrequency", "Minimum frequency of a cluster shown", 1, kMaxInt,
               [](auto& r) { return int64_t(r.MinShowFrequency()); }, [](auto& r, int64_t v) { r.SetMinShowFrequency(int32_t(v)); });
        ix.Int("ClusterMinTexts", "Texts a cluster must occur in at least", 1, kMaxInt,
               [](auto& r) { return int64_t(r.ClusterMinTexts()); }, [](auto& r, int64_t v) { r.SetClusterMinTexts(int32_t(v)); });
        ix.Bool("ComputeDispersion", "Clusters get dispersion values", [](auto& r) { return r.ComputeDispersion(); },
                [](auto& r, bool v) { r.SetComputeDispersion(v); });
        ix.Int("RelationSpan", "Span of relationships in words", 1, 8, [](auto& r) { return int64_t(r.RelationSpan()); },
               [](auto& r, int64_t v) { r.SetRelationSpan(int32_t(v)); });
        ix.Int("MinJointFrequency", "Minimum joint frequency of a relationship", 1, kMaxInt,
               [](auto& r) { return int64_t(r.MinJointFrequency()); }, [](auto& r, int64_t v) { r.SetMinJointFrequency(int32_t(v)); });
        ix.Int("MovingWindowWords", "Running words per moving window", 100, 100000000,
               [](auto& r) { return int64_t(r.MovingWindowWords()); }, [](auto& r, int64_t v) { r.SetMovingWindowWords(int32_t(v)); });
        ix.Int("MovingWindowRuns", "Runs of moving windows, each shifted", 1, 64,
               [](auto& r) { return int64_t(r.MovingWindowRuns()); }, [](auto& r, int64_t v) { r.SetMovingWindowRuns(int32_t(v)); });

        TRecordKeys<TRulerPlotWordCloudFeatures> rp{k, QStringLiteral("Colours"), &GetRulerPlotWordCloudFeatures,
                                                    &SetRulerPlotWordCloudFeatures};
        rp.Colour("Ruler", "Ruler lines of the lists", [](auto& r) { return r.RulerColour(); },
                  [](auto& r, uint32_t v) { r.SetRulerColour(v); });
        rp.Colour("Plot", "Marks of the plots", [](auto& r) { return r.PlotColour(); },
                  [](auto& r, uint32_t v) { r.SetPlotColour(v); });
        rp.Colour("PlotBackground", "Background of the plots", [](auto& r) { return r.PlotBackgroundColour(); },
                  [](auto& r, uint32_t v) { r.SetPlotBackgroundColour(v); });
        rp.Colour("CloudBackground", "Background of word clouds", [](auto& r) { return r.CloudBackgroundColour(); },
                  [](auto& r, uint32_t v) { r.SetCloudBackgroundColour(v); });
        rp.Colour("CloudWords", "Words of word clouds", [](auto& r) { return r.CloudWordColour(); },
                  [](auto& r, uint32_t v) { r.SetCloudWordColour(v); });

        TRecordKeys<TWordCloudSettingsRec> wc{k, QStringLiteral("WordCloud"), &GetWordCloudSettings, &SetWordCloudSettings};
        wc.Choice("Shape", "Shape around each word",
                  {QStringLiteral("rounded, no border"), QStringLiteral("rectangle"), QStringLiteral("rounded with border"),
                   QStringLiteral("circle")},
                  [](auto& r) { return int64_t(r.Shape()); }, [](auto& r, int64_t v) { r.SetShape(uint8_t(v)); });
        wc.Bool("ColourBySize", "Bigger words in stronger colours", [](auto& r) { return r.ColourBySize(); },
                [](auto& r, bool v) { r.SetColourBySize(v); });
        wc.Bool("FillBehindWords", "A filled shape behind each word", [](auto& r) { return r.FillBehindWords(); },
                [](auto& r, bool v) { r.SetFillBehindWords(v); });
        wc.Float("HorizontalSpacing", "Space between words across", [](auto& r) { return r.HorizontalSpacing(); },
                 [](auto& r, float v) { r.SetHorizontalSpacing(v); });
        wc.Float("VerticalSpacing", "Space between words down", [](auto& r) { return r.VerticalSpacing(); },
                 [](auto& r, float v) { r.SetVerticalSpacing(v); });
        wc.Int("MinFontSize", "Smallest font size of a word (points)", 6, 70, [](auto& r) { return int64_t(r.MinFontSize()); },
               [](auto& r, int64_t v) { r.SetMinFontSize(int32_t(v)); });

        // Settings a tool keeps for itself: a file name, and a switch.
        const auto fileKey = [&k](const QString& key, const QString& caption, std::function<QString()> get,
                                  std::function<void(const QString&)> set) {
            TSettingKey file;
            file.key = key;
            file.caption = caption;
            file.kind = TSettingKind::File;
            file.get = std::move(get);
            file.set = [set = std::move(set)](const QString& v) {
                set(v);
                return true;
            };
            k.push_back(std::move(file));
        };
        const auto boolKey = [&k](const QString& key, const QString& caption, std::function<bool()> get,
                                  std::function<void(bool)> set) {
            TSettingKey on;
            on.key = key;
            on.caption = caption;
            on.kind = TSettingKind::Bool;
            on.get = [get = std::move(get)] { return boolText(get()); };
            on.set = [set = std::move(set)](const QString& v) {
                bool b = false;
                if (!parseBool(v, &b))
                    return false;
                set(b);
                return true;
            };
            k.push_back(std::move(on));
        };

        // Lemmatiser lists of the three tools that use them.
        static const char* const kKinds[] = {"Lemma", "Match", "Stop", "Relation"};
        for (uint8_t tool : {kToolWordList, kToolConcordance, kToolKeyWords}) {
            for (uint8_t kind = 0; kind < 4; ++kind) {
                const QString name = QString::fromLatin1(kKinds[kind]);
                fileKey(QStringLiteral("Lists/%1File%2").arg(name).arg(tool),
                        QStringLiteral("%1 list file of %2").arg(name, Tool_Name(tool)),
                        [=] { return GetLemmaMatchStopFilename(tool, kind); },
                        [=](const QString& v) { SetLemmaMatchStopFilename(tool, kind, v); });
                boolKey(QStringLiteral("Lists/%1Wanted%2").arg(name).arg(tool),
                        QStringLiteral("%1 uses its %2 list").arg(Tool_Name(tool), name.toLower()),
                        [=] { return GetLemmaMatchStopWanted(tool, kind); },
                        [=](bool b) { SetLemmaMatchStopWanted(tool, kind, b); });
            }
        }

        // The user plug-in of the tools that call one (docs/word-filter-plugin.md,
        // docs/concordance-line-plugin.md): its file, and whether it is used.
        for (uint8_t tool : {kToolWordList, kToolConcordance}) {
            boolKey(QStringLiteral("Plugins/UseUserPlugin%1").arg(tool),
                    QStringLiteral("%1: use the user plug-in").arg(Tool_Name(tool)),
                    [=] { return GetUseUserFilter(tool); }, [=](bool b) { SetUseUserFilter(tool, b); });
            fileKey(QStringLiteral("Plugins/UserPluginFile%1").arg(tool),
                    QStringLiteral("%1: user plug-in file (a shared library)").arg(Tool_Name(tool)),
                    [=] { return GetUserDLLFileName(tool); },
                    [=](const QString& v) { SetUserDLLFileName(tool, v.trimmed()); });
        }

        // What Customise chose lives in the buffer, which every start
        // rewrites: the ini keeps it. No window shows these keys.
        const auto menusKey = [&k](const char* name, const char* caption, QString (*get)(), bool (*set)(const QString&)) {
            TSettingKey key;
            key.key = QStringLiteral("Menus/") + QLatin1String(name);
            key.caption = QString::fromUtf8(caption);
            key.get = get;
            key.set = set;
            k.push_back(std::move(key));
        };
        menusKey("Shortcuts", "Shortcuts of the menu commands, as command number=shortcut (empty: the menus' own)",
                 &MenuShortcutsText, &SetMenuShortcutsFromText);
        menusKey("RightClick", "Menu commands offered when a list is right-clicked, by number (empty: the usual ones)",
                 &RightClickCommandsText, &SetRightClickCommandsFromText);
        // The index the wizard made or added to last, offered again by it.
        TSettingKey lastIndex;
        lastIndex.key = QStringLiteral("Recent/Index");
        lastIndex.caption = QStringLiteral("The index the start wizard made last (offered again)");
        lastIndex.get = [] { return GetLastUsedFile(kListIndexWordList); };
        lastIndex.set = [](const QString& v) {
            SetLastUsedFile(kListIndexWordList, v.trimmed());
            return true;
        };
        k.push_back(std::move(lastIndex));
        return k;
    }();
    return keys;
}

} // namespace

bool ApplyLanguageByName(TTextSettings& settings, const QString& name)
{
    const auto& list = TLanguageList::Instance();
    const int i = list.IndexOfName(name);
    if (i < 0)
        return false;
    ApplyLanguage(settings, i);
    return true;
}

void ApplyLanguage(TTextSettings& settings, int index)
{
    const auto& l = TLanguageList::Instance().At(index);
    settings.SetLanguageId(l.lcid);
    settings.SetLanguageName(l.name.left(50));
    settings.SetCollationName(l.localeName);
    if (l.codePage != 0)
        settings.SetCodePage(l.codePage);
}

const std::vector<TSettingKey>& ControllerSettingKeys() { return keyTable(); }

const TSettingKey* FindSettingKey(const QString& key)
{
    for (const TSettingKey& k : keyTable())
        if (k.key.compare(key, Qt::CaseInsensitive) == 0)
            return &k;
    return nullptr;
}

bool IsSettingsWindowCode(uint16_t code)
{
    switch (code) {
    case kCodeSettingsColours:
    case kCodeSettingsFont:
    case kCodeSettingsLanguage:
    case kCodeSettingsFolders:
    case kCodeSettingsTags:
    case kCodeSettingsLists:
    case kCodeSettingsOfTool:
    case kCodeSettingsIndex:
        return true;
    default:
        return false;
    }
}

QStringList SettingKeysOfCommand(uint16_t code, uint8_t tool)
{
    const auto section = [](const QString& name) {
        QStringList keys;
        for (const TSettingKey& k : keyTable())
            if (k.key.startsWith(name + QLatin1Char('/')))
                keys << k.key;
        return keys;
    };
    switch (code) {
    case kCodeSettingsColours:
        return section(QStringLiteral("Colours")) + section(QStringLiteral("WordCloud"));
    case kCodeSettingsFont:
        return {QStringLiteral("Text/FontName"), QStringLiteral("Text/FontSize")};
    case kCodeSettingsLanguage:
        return {QStringLiteral("Text/Language"), QStringLiteral("Text/MinWordLength"), QStringLiteral("Text/MaxWordLength"),
                QStringLiteral("Text/KeepNumbers"), QStringLiteral("Text/ApostrophesInWords"),
                QStringLiteral("Text/HyphensSeparateWords"), QStringLiteral("Text/DetectUtf8"),
                QStringLiteral("Text/STTRBasis"), QStringLiteral("Text/MaxTexts")};
    case kCodeSettingsFolders:
        return {QStringLiteral("Suite/DefaultFolder"), QStringLiteral("Suite/UserFolder"), QStringLiteral("Suite/HelpFile"),
                QStringLiteral("Suite/LogFile"), QStringLiteral("Suite/Logging"), QStringLiteral("Suite/AutoSaveMinutes"),
                QStringLiteral("Suite/AskWhetherToSaveModifiedData")};
    case kCodeSettingsTags:
        return {QStringLiteral("Text/MarkupMode"), QStringLiteral("Text/TranslateEntities"),
                QStringLiteral("Text/CountScriptAndStyle"), QStringLiteral("Text/MaxTagSpan")};
    case kCodeSettingsLists: {
        QStringList keys;
        for (const char* kind : {"Lemma", "Match", "Stop", "Relation"})
            keys << QStringLiteral("Lists/%1Wanted%2").arg(QLatin1String(kind)).arg(tool)
                 << QStringLiteral("Lists/%1File%2").arg(QLatin1String(kind)).arg(tool);
        // Only the tools that keep such lists have them.
        keys.removeIf([](const QString& k) { return !FindSettingKey(k); });
        return keys;
    }
    case kCodeSettingsOfTool: {
        // A tool that calls a user plug-in names it among its own settings.
        const QStringList plugin = {QStringLiteral("Plugins/UseUserPlugin%1").arg(tool),
                                    QStringLiteral("Plugins/UserPluginFile%1").arg(tool)};
        if (tool == kToolWordList)
            return section(QStringLiteral("WordList")) + section(QStringLiteral("KeyWords")) + plugin;
        if (tool == kToolKeyWords)
            return section(QStringLiteral("KeyWords"));
        if (tool == kToolConcordance)
            return section(QStringLiteral("Concordance")) + plugin;
        return section(QStringLiteral("Suite"));
    }
    case kCodeSettingsIndex:
        return section(QStringLiteral("Index"));
    default:
        return {};
    }
}

QString SettingsWindowTitle(uint16_t code, uint8_t tool)
{
    switch (code) {
    case kCodeSettingsColours: return QStringLiteral("Colours");
    case kCodeSettingsFont: return QStringLiteral("Font");
    case kCodeSettingsLanguage: return QStringLiteral("Language and words");
    case kCodeSettingsFolders: return QStringLiteral("Folders");
    case kCodeSettingsTags: return QStringLiteral("Tags");
    case kCodeSettingsLists: return QStringLiteral("Stop, lemma and match lists of %1").arg(Tool_Name(tool));
    case kCodeSettingsOfTool: return QStringLiteral("Settings of %1").arg(Tool_Name(tool));
    case kCodeSettingsIndex: return QStringLiteral("Index");
    default: return QStringLiteral("Settings");
    }
}

QString DefaultControllerIniFile()
{
    const QString env = qEnvironmentVariable("CV_CONTROLLER_INI");
    if (!env.isEmpty())
        return env;
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return QDir(config).filePath(QStringLiteral("corvantis/controller.ini"));
}

QStringList ApplyControllerIni(const QString& fileName)
{
    QStringList problems;
    QFile file(fileName);
    if (!file.exists())
        return problems;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        problems << QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, file.errorString());
        return problems;
    }
    // Read by hand rather than with QSettings: values are taken as written
    // (commas and backslashes in paths stay), only surrounding quotes go.
    const auto& keys = keyTable();
    QString section;
    int lineNumber = 0;
    for (const QString& raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        ++lineNumber;
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            problems << QStringLiteral("%1, line %2: \"%3\" is not a key=value line").arg(fileName).arg(lineNumber).arg(line);
            continue;
        }
        const QString key = section + QLatin1Char('/') + line.left(eq).trimmed();
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        const auto it = std::find_if(keys.begin(), keys.end(), [&](const TSettingKey& k) { return k.key.compare(key, Qt::CaseInsensitive) == 0; });
        if (it == keys.end())
            problems << QStringLiteral("%1: unknown key \"%2\" ignored").arg(fileName, key);
        else if (!it->set(value))
            problems << QStringLiteral("%1: \"%2\" is not a valid value for %3; the default is kept").arg(fileName, value, key);
    }
    return problems;
}

bool WriteControllerIni(const QString& fileName, QString* error)
{
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    TSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, f.errorString());
        return false;
    }
    QString out = QStringLiteral("; Settings the Corvantis controller puts into the shared settings buffer at start.\n"
                                 "; Delete a line to keep the built-in default. Paths may use / on every system.\n");
    QString section;
    for (const auto& k : keyTable()) {
        const QString sec = k.key.section(QLatin1Char('/'), 0, 0);
        if (sec != section) {
            section = sec;
            out += QStringLiteral("\n[%1]\n").arg(sec);
        }
        QString value = k.get();
        if (value != value.trimmed() || value.startsWith(QLatin1Char('"')))
            value = QLatin1Char('"') + value + QLatin1Char('"');
        out += QStringLiteral("; %1\n%2=%3\n").arg(k.caption, k.key.section(QLatin1Char('/'), 1), value);
    }
    f.write(out.toUtf8());
    if (!f.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\": %2").arg(fileName, f.errorString());
        return false;
    }
    return true;
}

} // namespace cv
