#include "suite/wdef.h"

#include <QFileInfo>

#include <array>

#include "suite/my_types.h"

namespace cv {

namespace {

constexpr uint8_t W = kToolWordList, C = kToolConcordance, K = kToolKeyWords;

// The eleven association scores, in the statistics module's order (AssociationTable).
#define CV_SCORES u"Dice|Mutual info|MI3|Z score|Log likelihood|T score|Log Ratio|CProbA|CProbB|DeltaPA|DeltaPB"
#define CV_POSITIONS u"L5|L4|L3|L2|L1|Centre|R1|R2|R3|R4|R5"

// clang-format off
constexpr std::array kListTypes = {
    TCorvantisList{0, u"Word list", "Corvantis word list", ".lst", "", W,
                   u"N|Word|Freq.|%|Texts|%|Dispersion|Lemmas|Set"},
    TCorvantisList{1, u"Key words", "Corvantis key words", ".kws", "", K,
                   u"N|Key word|Freq.|%|Texts|RC. Freq.|RC. %|Keyness|P|Lemmas|Set"},
    TCorvantisList{2, u"Key-word database", "Corvantis key-word database", ".kws", "", K,
                   u"N|Key word|Texts|% of texts|Freq.|Keyness|Associates|Set"},
    TCorvantisList{3, u"Consistency relations", "Corvantis consistency relations", ".lst", "", W,
                   u"N|Word 1|Word 2|Texts|Texts 1|Texts 2|Dice|Set"},
    TCorvantisList{4, u"Detailed consistency", "Corvantis detailed consistency", ".lst", "", W,
                   u"N|Word|Texts|Total|Set"},
    TCorvantisList{5, u"Collocates", "Corvantis collocates", ".cnc", "", C,
                   u"N|Word|With|" CV_SCORES u"|Set|Texts|Total|Total left|Total right|" CV_POSITIONS},
    TCorvantisList{6, u"Lemma list", "Corvantis lemma list", "", "", W, u"N|Head word|Forms"},
    TCorvantisList{7, u"Match list", "Corvantis match list", "", "", W, u"N|Word"},
    TCorvantisList{8, u"Stop list", "Corvantis stop list", "", "", W, u"N|Word"},
    TCorvantisList{9, u"Relation words", "Corvantis relation words", "", "", W, u"N|Word"},
    TCorvantisList{10, u"Concordance", "Corvantis concordance", ".cnc", "", C,
                   u"N|Concordance|Set|Tag|Word #|Sent. #|Sent. pos.|Para. #|Para. pos.|Head. #|Head. pos.|Sect. #|Sect. pos.|File|%"},
    TCorvantisList{11, u"Key-word plot", "Corvantis key-word plot", ".kws", "", K,
                   u"N|Key word|Keyness|Texts|Words|Hits|per 1,000|Dispersion|Plot"},
    TCorvantisList{12, u"Concordance plot", "Corvantis concordance plot", ".cnc", "", C,
                   u"N|File|Words|Hits|per 1,000|Dispersion|Plot"},
    TCorvantisList{13, u"Concordance clusters", "Corvantis concordance clusters", ".cnc", "", C,
                   u"N|Cluster|Freq.|Set|Length|Related"},
    TCorvantisList{14, u"Patterns", "Corvantis patterns", ".cnc", "", C,
                   u"N|L4|L3|L2|L1|Centre|R1|R2|R3|R4|R5"},
    TCorvantisList{15, u"Associates", "Corvantis associates", ".kws", "", K,
                   u"N|Key word|Associates|Texts|Set"},
    TCorvantisList{16, u"Key-word database texts", "Corvantis key-word database texts", ".kws", "", K,
                   u"N|File|Key words|Set"},
    TCorvantisList{17, u"File names", "Corvantis file names", "", "", W,
                   u"N|File|Words|Hits|Status"},
    TCorvantisList{18, u"Key-word links", "Corvantis key-word links", ".kws", "", K,
                   u"N|Key word|Links|Hits|Linked key words|Set"},
    TCorvantisList{19, u"Statistics", "Corvantis statistics", "", "", W,
                   u"N|Text file|File size|Tokens (running words) in text|Tokens used for word list|Sum of entries|"
                   u"Types (distinct words)|Type/token ratio (TTR)|Standardised TTR|STTR std.dev.|STTR basis|"
                   u"Mean word length (in characters)|Word length std.dev.|Sentences|Mean (in words)|Std.dev.|"
                   u"Paragraphs|Mean (in words)|Std.dev.|Headings|Mean (in words)|Std.dev.|Sections|Mean (in words)|Std.dev.|"
                   u"Numbers removed|Stoplist tokens and types omitted|1-letter words|2-letter words|3-letter words|"
                   u"4-letter words|5-letter words|6-letter words|7-letter words|8-letter words|9-letter words|"
                   u"10-letter words|11-letter words|12-letter words|13-letter words|14+-letter words"},
    TCorvantisList{20, u"Timeline", "Corvantis timeline", ".cnc", "", C,
                   u"N|Period|Hits|Texts|per 1,000|Dispersion|Dates"},
    TCorvantisList{21, u"Text", "Corvantis text", "", "", W, u"N|Text"},
    TCorvantisList{22, u"Plain-text word list", "Corvantis plain-text word list", ".txt", "", W,
                   u"N|Word|Freq.|%"},
    TCorvantisList{23, u"Index word list", "Corvantis index word list", ".tokens", ".types|.stats|.markup", W,
                   u"N|Word|Freq.|%|Texts|%|Dispersion|Lemmas|Set"},
    TCorvantisList{24, u"Key-word link clusters", "Corvantis key-word link clusters", ".kws", "", K,
                   u"N|Cluster|Freq.|Length|Set"},
    TCorvantisList{25, u"No list", "Corvantis no list", "", "", W, u""},
    TCorvantisList{26, u"Notes", "Corvantis notes", "", "", W, u"Notes"},
    TCorvantisList{27, u"Second text", "Corvantis second text", "", "", W, u"Text"},
    TCorvantisList{28, u"Index relationships", "Corvantis index relationships", ".relationships", "", W,
                   u"N|Word 1|Word 2|Freq.|Freq. word 1|Freq. word 2|Texts|Gap|" CV_SCORES u"|Set"},
    TCorvantisList{29, u"Text list", "Corvantis text list", "", "", W, u"N|File"},
    TCorvantisList{30, u"Concgrams", "Corvantis concgrams", ".lst", "", W,
                   u"N|Concgram|Freq.|Texts|Set"},
    TCorvantisList{31, u"Word cloud", "Corvantis word cloud", "", "", W, u""},
    TCorvantisList{32, u"Moving-window plot", "Corvantis moving-window plot", ".plotdata", "", W, u""},
    TCorvantisList{33, u"Character n-grams", "Corvantis character n-grams", ".lst", "", W,
                   u"N|N-gram|Freq.|%|Texts|%|Set"},
    TCorvantisList{34, u"Phrase frames", "Corvantis phrase frames", ".lst", "", W,
                   u"N|Frame|Freq.|Variants|Texts|Set"},
    TCorvantisList{41, u"Plot view", "Corvantis plot view", "", "", W, u""},
};
// clang-format on

#undef CV_SCORES
#undef CV_POSITIONS

// List types that are whole saved documents.
constexpr std::array<uint8_t, 6> kDocumentListTypes = {kListWordList, kListKeyWords, kListConcordance, kListIndexWordList,
                                                       kListIndexRelationships, kListMovingWindowPlot};

const TCorvantisList* find(uint8_t listType)
{
    for (const auto& e : kListTypes)
        if (e.listType == listType)
            return &e;
    return nullptr;
}

QString withDot(QString ext)
{
    ext = ext.trimmed().toLower();
    if (!ext.isEmpty() && !ext.startsWith(u'.'))
        ext.prepend(u'.');
    return ext;
}

} // namespace

std::span<const TCorvantisList> AllListTypes() { return kListTypes; }

const TCorvantisList& CorvantisListOf(uint8_t listType)
{
    const TCorvantisList* e = find(listType);
    return e ? *e : *find(kListNone);
}

bool IsKnownListType(uint8_t listType) { return find(listType) != nullptr; }

QString ListTypeName(uint8_t listType) { return QString::fromUtf16(CorvantisListOf(listType).name); }

QString ListTypeSignature(uint8_t listType) { return QString::fromLatin1(CorvantisListOf(listType).signature); }

QByteArray ListTypeSignatureBytes(uint8_t listType)
{
    QByteArray out(CorvantisListOf(listType).signature);
    out.resize(kListSignatureChars, '\0');
    return out;
}

uint8_t ListTypeFromSignature(QByteArrayView signature)
{
    qsizetype n = std::min<qsizetype>(signature.size(), kListSignatureChars);
    while (n > 0 && (signature[n - 1] == '\0' || signature[n - 1] == ' '))
        --n;
    const QByteArrayView wanted = signature.first(n);
    for (const auto& e : kListTypes)
        if (wanted == QByteArrayView(e.signature))
            return e.listType;
    return kListNone;
}

QString DefaultExtFromListType(uint8_t listType) { return QString::fromLatin1(CorvantisListOf(listType).defaultExt); }

QString WithoutDotDefaultExt(uint8_t listType) { return DefaultExtFromListType(listType).mid(1); }

uint8_t ListTypeFromFileExt(const QString& fileNameOrExt)
{
    const QString s = fileNameOrExt.trimmed();
    const QString suffix = s.contains(u'/') || s.contains(u'\\') || s.indexOf(u'.', 1) > 0 ? QFileInfo(s).suffix() : s;
    const QString ext = withDot(suffix);
    if (ext.isEmpty())
        return kListNone;
    // Several list types live in the files of one document; the document's
    // own list type owns the extension (".cnc" is a concordance, not its
    // collocates), then the table's order decides.
    const auto matches = [&](const TCorvantisList& e) {
        if (ext == QLatin1StringView(e.defaultExt))
            return true;
        const QStringList others = QString::fromLatin1(e.otherExts).split(u'|', Qt::SkipEmptyParts);
        return others.contains(ext);
    };
    for (uint8_t documentType : kDocumentListTypes)
        if (matches(*find(documentType)))
            return documentType;
    for (const auto& e : kListTypes)
        if (matches(e))
            return e.listType;
    return kListNone;
}

uint8_t ToolTypeFromListType(uint8_t listType) { return CorvantisListOf(listType).tool; }

QStringList StandardGridHeaderArray(uint8_t listType)
{
    const QString h = QString::fromUtf16(CorvantisListOf(listType).headings);
    return h.isEmpty() ? QStringList() : h.split(u'|');
}

QString LimitedDefaultFilter(uint8_t listType)
{
    const TCorvantisList& e = CorvantisListOf(listType);
    if (*e.defaultExt == '\0')
        return QString();
    return QStringLiteral("%1 files (*%2)").arg(QString::fromUtf16(e.name), QString::fromLatin1(e.defaultExt));
}

QString DefaultExtFromSaveASFormat(uint8_t format, uint8_t listType)
{
    switch (format) {
    case 1: return QStringLiteral(".xml");
    case 2: return QStringLiteral(".xlsx");
    case 3: return QStringLiteral(".rtf");
    case 4: {
        const QString own = DefaultExtFromListType(listType);
        return own.isEmpty() ? QStringLiteral(".txt") : own;
    }
    default: return QStringLiteral(".txt");
    }
}

bool IsLemmatisableListType(uint8_t listType) { return listType < 48; }

} // namespace cv
