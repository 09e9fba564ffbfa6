#include "controller_ini.h"

#include "runtime/language_list.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <functional>
#include <vector>

namespace cv {

namespace {

// One editable setting: its ini key (section/name), a comment for the
// written file, and how it is read from and written to the settings buffer.
struct TIniKey {
    QString key;
    QString comment;
    std::function<QString()> get;
    std::function<bool(const QString&)> set; // false: the value is not valid
};

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

// Keys of one settings record: Rec is read with getRec, changed, written with setRec.
template <typename Rec>
struct TRecordKeys {
    std::vector<TIniKey>& keys;
    QString section;
    Rec (*getRec)();
    void (*setRec)(const Rec&);

    // show: the field as ini text; parse: the ini text into the field (false: not valid).
    void Add(const char* name, const char* comment, std::function<QString(const Rec&)> show,
             std::function<bool(Rec&, const QString&)> parse)
    {
        auto g = getRec;
        auto s = setRec;
        keys.push_back({section + QLatin1Char('/') + QLatin1String(name), QLatin1String(comment), [=] { return show(g()); },
                        [=](const QString& v) {
                            Rec r = g();
                            if (!parse(r, v.trimmed()))
                                return false;
                            s(r);
                            return true;
                        }});
    }
    void Int(const char* name, const char* comment, int64_t lo, int64_t hi, std::function<int64_t(const Rec&)> get,
             std::function<void(Rec&, int64_t)> set)
    {
        Add(name, comment, [=](const Rec& r) { return QString::number(get(r)); },
            [=](Rec& r, const QString& v) {
                bool ok = false;
                const qlonglong n = v.toLongLong(&ok);
                if (ok && n >= lo && n <= hi)
                    set(r, n);
                return ok && n >= lo && n <= hi;
            });
    }
    void Float(const char* name, const char* comment, std::function<float(const Rec&)> get, std::function<void(Rec&, float)> set)
    {
        Add(name, comment, [=](const Rec& r) { return QString::number(double(get(r)), 'g', 9); },
            [=](Rec& r, const QString& v) {
                bool ok = false;
                const float f = v.toFloat(&ok);
                if (ok)
                    set(r, f);
                return ok;
            });
    }
    void Bool(const char* name, const char* comment, std::function<bool(const Rec&)> get, std::function<void(Rec&, bool)> set)
    {
        Add(name, comment, [=](const Rec& r) { return boolText(get(r)); },
            [=](Rec& r, const QString& v) {
                bool b = false;
                if (parseBool(v, &b))
                    set(r, b);
                return parseBool(v, &b);
            });
    }
    void Text(const char* name, const char* comment, std::function<QString(const Rec&)> get,
              std::function<bool(Rec&, const QString&)> set)
    {
        Add(name, comment, get, set);
    }
};

const std::vector<TIniKey>& iniKeys()
{
    static const std::vector<TIniKey> keys = [] {
        std::vector<TIniKey> k;
        constexpr int64_t kMaxInt = 2147483647;

        TRecordKeys<TGeneralSettingsRec> g{k, QStringLiteral("Suite"), &GetGeneralSettings, &SetGeneralSettings};
        g.Bool("Logging", "tools write a log (the log file must exist)", [](auto& r) { return r.Logging(); },
               [](auto& r, bool v) { r.SetLogging(v); });
        g.Text("LogFile", "the tools' log file", [](auto& r) { return r.LogFilename(); },
               [](auto& r, const QString& v) { r.SetLogFilename(v); return true; });
        g.Text("UserFolder", "the user's read/write folder (dialog settings, customised lists)",
               [](auto& r) { return r.UserReadWriteFolder(); }, [](auto& r, const QString& v) { r.SetUserReadWriteFolder(v); return true; });
        g.Text("DefaultFolder", "where results are saved by default", [](auto& r) { return r.DefaultFolder(); },
               [](auto& r, const QString& v) { r.SetDefaultFolder(v); return true; });
        g.Text("HelpFile", "the help file", [](auto& r) { return r.HelpFilename(); },
               [](auto& r, const QString& v) { r.SetHelpFilename(v); return true; });
        g.Int("AutoSaveMinutes", "0: no autosave", 0, 10000, [](auto& r) { return int64_t(r.AutoSaveMinutes()); },
              [](auto& r, int64_t v) { r.SetAutoSaveMinutes(int32_t(v)); });
        g.Bool("AskWhetherToSaveModifiedData", "ask before unsaved results are dropped",
               [](auto& r) { return r.AskWhetherToSaveModifiedData(); },
               [](auto& r, bool v) { r.SetAskWhetherToSaveModifiedData(v); });
        g.Bool("RemoveDuplicatesAutomatically", "concordances drop duplicate lines",
               [](auto& r) { return r.RemoveDuplicatesAutomatically(); },
               [](auto& r, bool v) { r.SetRemoveDuplicatesAutomatically(v); });
        g.Int("ConcCharactersForTextOnly", "characters per line copied as plain text", 1, 100000,
              [](auto& r) { return int64_t(r.ConcCharactersForTextOnly()); },
              [](auto& r, int64_t v) { r.SetConcCharactersForTextOnly(int32_t(v)); });

        TRecordKeys<TTextSettings> t{k, QStringLiteral("Text"), &GetTextSettings, &SetTextSettings};
        t.Text("Language", "language of the texts, as in the language list (e.g. English (United States))",
               [](auto& r) { return r.LanguageName(); },
               [](auto& r, const QString& v) {
                   const auto& list = TLanguageList::Instance();
                   const int i = list.IndexOfName(v);
                   if (i < 0)
                       return false;
                   const auto& l = list.At(i);
                   r.SetLanguageId(l.lcid);
                   r.SetLanguageName(l.name.left(50));
                   r.SetCollationName(l.localeName);
                   if (l.codePage != 0)
                       r.SetCodePage(l.codePage);
                   return true;
               });
        t.Int("MinWordLength", "shortest word counted", 1, 1000, [](auto& r) { return int64_t(r.MinWordLength()); },
              [](auto& r, int64_t v) { r.SetMinWordLength(int32_t(v)); });
        t.Int("MaxWordLength", "longest word counted", 1, 1000, [](auto& r) { return int64_t(r.MaxWordLength()); },
              [](auto& r, int64_t v) { r.SetMaxWordLength(int32_t(v)); });
        t.Int("MaxTexts", "0: no limit on the number of texts", 0, kMaxInt, [](auto& r) { return int64_t(r.MaxTexts()); },
              [](auto& r, int64_t v) { r.SetMaxTexts(int32_t(v)); });
        t.Bool("KeepNumbers", "numbers count as words", [](auto& r) { return r.KeepNumbers(); },
               [](auto& r, bool v) { r.SetKeepNumbers(v); });
        t.Bool("ApostrophesInWords", "an apostrophe between letters stays in the word",
               [](auto& r) { return r.ApostrophesInWords(); }, [](auto& r, bool v) { r.SetApostrophesInWords(v); });
        t.Bool("HyphensSeparateWords", "a hyphen between letters separates words",
               [](auto& r) { return r.HyphensSeparateWords(); }, [](auto& r, bool v) { r.SetHyphensSeparateWords(v); });
        t.Int("MarkupMode", "0 plain text, 1 ignore tags, 2 tag rules", 0, 2, [](auto& r) { return int64_t(r.MarkupModeByte()); },
              [](auto& r, int64_t v) { r.SetMarkupModeByte(uint8_t(v)); });
        t.Int("STTRBasis", "words per chunk of the standardised type/token ratio", 1, 1000000,
              [](auto& r) { return int64_t(r.STTRBasis()); }, [](auto& r, int64_t v) { r.SetSTTRBasis(int32_t(v)); });
        t.Bool("DetectUtf8", "8-bit texts are tested for UTF-8 first", [](auto& r) { return r.DetectUtf8(); },
               [](auto& r, bool v) { r.SetDetectUtf8(v); });

        TRecordKeys<TKeyWordsSettingsRec> kw{k, QStringLiteral("KeyWords"), &GetKeywordsSettings, &SetKeywordsSettings};
        kw.Float("MaxPValue", "largest accepted probability of a key word", [](auto& r) { return r.MaxPValue(); },
                 [](auto& r, float v) { r.SetMaxPValue(v); });
        kw.Int("MinFrequency", "minimum frequency in the study list", 1, 32767, [](auto& r) { return int64_t(r.MinFrequency()); },
               [](auto& r, int64_t v) { r.SetMinFrequency(int16_t(v)); });
        kw.Int("MaxKeyWordsWanted", "most key words kept per list", 1, kMaxInt,
               [](auto& r) { return int64_t(r.MaxKeyWordsWanted()); }, [](auto& r, int64_t v) { r.SetMaxKeyWordsWanted(int32_t(v)); });
        kw.Bool("TwoWay", "compare both ways (reference words are tested too)", [](auto& r) { return r.TwoWay(); },
                [](auto& r, bool v) { r.SetTwoWay(v); });
        kw.Text("ReferenceCorpus", "the reference word list", [](auto& r) { return r.ReferenceListName(); },
                [](auto& r, const QString& v) { r.SetReferenceListName(v); return true; });
        kw.Float("TextPresencePercent", "share of texts a key word must occur in (when that rule applies)",
                 [](auto& r) { return r.TextPresencePercent(); }, [](auto& r, float v) { r.SetTextPresencePercent(v); });

        TRecordKeys<TConcSettingsRec32> c{k, QStringLiteral("Concordance"), &GetConcSaveRec, &SetConcSaveRec};
        c.Int("EntriesWantedPerSearchWord", "most lines per search word", 1, kMaxInt,
              [](auto& r) { return int64_t(r.EntriesWantedPerSw()); }, [](auto& r, int64_t v) { r.SetEntriesWantedPerSw(int32_t(v)); });
        c.Int("CollocHorizonLeft", "collocate words to the left", 0, 25, [](auto& r) { return int64_t(r.CollocHorizonLeft()); },
              [](auto& r, int64_t v) { r.SetCollocHorizonLeft(int16_t(v)); });
        c.Int("CollocHorizonRight", "collocate words to the right", 0, 25, [](auto& r) { return int64_t(r.CollocHorizonRight()); },
              [](auto& r, int64_t v) { r.SetCollocHorizonRight(int16_t(v)); });
        c.Int("CharactersPerLine", "characters kept for each line", 20, 100000,
              [](auto& r) { return int64_t(r.CharactersPerLine()); }, [](auto& r, int64_t v) { r.SetCharactersPerLine(int32_t(v)); });
        c.Int("ClusterLengthMin", "shortest cluster in words", 1, 25, [](auto& r) { return int64_t(r.ClusterLengthMin()); },
              [](auto& r, int64_t v) { r.SetClusterLengthMin(int16_t(v)); });
        c.Int("ClusterLengthMax", "longest cluster in words", 1, 25, [](auto& r) { return int64_t(r.ClusterLengthMax()); },
              [](auto& r, int64_t v) { r.SetClusterLengthMax(int16_t(v)); });

        TRecordKeys<TWordlist_index_settings_rec> ix{k, QStringLiteral("Index"), &GetWordlistIndexSettings, &SetWordlistIndexSettings};
        ix.Int("ClusterSizeMin", "smallest cluster in words", 2, 12, [](auto& r) { return int64_t(r.ClusterSizeMin()); },
               [](auto& r, int64_t v) { r.SetClusterSizeMin(int32_t(v)); });
        ix.Int("ClusterSizeMax", "largest cluster in words", 2, 12, [](auto& r) { return int64_t(r.ClusterSizeMax()); },
               [](auto& r, int64_t v) { r.SetClusterSizeMax(int32_t(v)); });
        ix.Int("MinShowFrequency", "minimum frequency of a cluster shown", 1, kMaxInt,
               [](auto& r) { return int64_t(r.MinShowFrequency()); }, [](auto& r, int64_t v) { r.SetMinShowFrequency(int32_t(v)); });
        ix.Bool("ComputeDispersion", "clusters get dispersion values", [](auto& r) { return r.ComputeDispersion(); },
                [](auto& r, bool v) { r.SetComputeDispersion(v); });
        ix.Int("RelationSpan", "span of relationships in words", 1, 8, [](auto& r) { return int64_t(r.RelationSpan()); },
               [](auto& r, int64_t v) { r.SetRelationSpan(int32_t(v)); });
        ix.Int("MinJointFrequency", "minimum joint frequency of a relationship", 1, kMaxInt,
               [](auto& r) { return int64_t(r.MinJointFrequency()); }, [](auto& r, int64_t v) { r.SetMinJointFrequency(int32_t(v)); });

        // Lemmatiser lists of the three tools that use them.
        static const char* const kKinds[] = {"Lemma", "Match", "Stop", "Relation"};
        for (uint8_t tool : {kToolWordList, kToolConcordance, kToolKeyWords}) {
            for (uint8_t kind = 0; kind < 4; ++kind) {
                const QString base = QStringLiteral("Lists/%1%2").arg(QLatin1String(kKinds[kind]));
                k.push_back({base.arg(QStringLiteral("File%1").arg(tool)),
                             QStringLiteral("%1 list file of %2").arg(QString::fromLatin1(kKinds[kind]).toLower(), Tool_Name(tool)),
                             [=] { return GetLemmaMatchStopFilename(tool, kind); },
                             [=](const QString& v) {
                                 SetLemmaMatchStopFilename(tool, kind, v);
                                 return true;
                             }});
                k.push_back({base.arg(QStringLiteral("Wanted%1").arg(tool)),
                             QStringLiteral("%1 uses its %2 list").arg(Tool_Name(tool), QString::fromLatin1(kKinds[kind]).toLower()),
                             [=] { return boolText(GetLemmaMatchStopWanted(tool, kind)); },
                             [=](const QString& v) {
                                 bool b = false;
                                 if (!parseBool(v, &b))
                                     return false;
                                 SetLemmaMatchStopWanted(tool, kind, b);
                                 return true;
                             }});
            }
        }
        return k;
    }();
    return keys;
}

} // namespace

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
    const auto& keys = iniKeys();
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
        const auto it = std::find_if(keys.begin(), keys.end(), [&](const TIniKey& k) { return k.key.compare(key, Qt::CaseInsensitive) == 0; });
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
    QSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, f.errorString());
        return false;
    }
    QString out = QStringLiteral("; Settings the Corvantis controller puts into the shared settings buffer at start.\n"
                                 "; Delete a line to keep the built-in default. Paths may use / on every system.\n");
    QString section;
    for (const auto& k : iniKeys()) {
        const QString sec = k.key.section(QLatin1Char('/'), 0, 0);
        if (sec != section) {
            section = sec;
            out += QStringLiteral("\n[%1]\n").arg(sec);
        }
        QString value = k.get();
        if (value != value.trimmed() || value.startsWith(QLatin1Char('"')))
            value = QLatin1Char('"') + value + QLatin1Char('"');
        out += QStringLiteral("; %1\n%2=%3\n").arg(k.comment, k.key.section(QLatin1Char('/'), 1), value);
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
