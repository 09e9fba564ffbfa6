#include "concordance/collocate_relationships.h"

#include "concordance/collocates.h"
#include "concordance/conc_text_files.h"
#include "wordlist/word_folding.h"
#include "wordlist/word_list.h"


#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace cv {

namespace {

QString PositionCaption(int p)
{
    return p < 50 ? QStringLiteral("L%1").arg(50 - p) : QStringLiteral("R%1").arg(p - 50);
}

// The reference frequencies by folded word: every entry and every form
// joined under one, case variants added up. (A std:: map: without the
// memory for an entry it throws, where a QHash would end the program.)
std::unordered_map<QString, int64_t> ReferenceFrequencies(const TCVWordList& reference, const TWordFolder& folder)
{
    std::unordered_map<QString, int64_t> out;
    out.reserve(reference.Count());
    for (int i = 0; i < reference.Count(); ++i) {
        const TWordListEntry& e = reference.Entry(i);
        if (e.Deleted())
            continue;
        out[folder.Folded(e.fWord)] += e.fData.Freq;
        for (int j = 0; j < e.JoinedCount(); ++j)
            if (const auto* form = dynamic_cast<const TWordListEntry*>(e.JoinedEntry(j)))
                out[folder.Folded(form->fWord)] += form->fData.Freq;
    }
    return out;
}

QString Number(double v)
{
    return QString::number(v, 'g', 7);
}

} // namespace

TJointColumn JointColumnFor(const TCollocateList& list, int32_t preferredColumn, Tdouble_smallint_type horizons)
{
    const TSpan span = CollocSpan(horizons);
    const int leftWords = 50 - span.left;
    const int rightWords = span.right - 50;
    TJointColumn c;
    if (preferredColumn == TCollocateList::kColLeft) {
        c.kind = TJointColumn::kLeft;
        c.span = leftWords;
        c.caption = QStringLiteral("left");
        return c;
    }
    if (preferredColumn == TCollocateList::kColRight) {
        c.kind = TJointColumn::kRight;
        c.span = rightWords;
        c.caption = QStringLiteral("right");
        return c;
    }
    if (preferredColumn >= TCollocateList::kStandardColumns) {
        const int p = list.ColToSpan(preferredColumn);
        if (p >= span.left && p <= span.right && p != 50) {
            c.kind = TJointColumn::kPosition;
            c.position = p;
            c.span = 1;
            c.caption = PositionCaption(p);
            return c;
        }
    }
    c.span = leftWords + rightWords;
    c.caption = QStringLiteral("total");
    return c;
}

int64_t JointFrequency(const TCollocateEntryRec32& row, const TJointColumn& column, uint8_t spanLeft)
{
    switch (column.kind) {
    case TJointColumn::kLeft: return row.left;
    case TJointColumn::kRight: return row.right;
    case TJointColumn::kPosition: {
        const int k = column.position - spanLeft;
        return k >= 0 && k < int(row.freqs.size()) ? row.freqs[size_t(k)] : 0;
    }
    case TJointColumn::kBothSides: break;
    }
    return int64_t(row.left) + row.right;
}

TAssociationScores ScoresOf(const TCollocateEntryRec32& row)
{
    TAssociationScores s{};
    for (int i = 0; i < kAssociationCount; ++i)
        s[size_t(i)] = row.block.Score(i);
    return s;
}

bool PassesRelationshipThresholdTests(const TCollocateEntryRec32& row, const TConcgramMutualChecks& checks)
{
    if (!checks.ChecksOn())
        return true;
    TAssociationScores thresholds{};
    for (int i = 0; i < kAssociationCount; ++i)
        thresholds[size_t(i)] = checks.Threshold(i);
    // Scores are stored in single precision; the thresholds are singles too.
    return PassesAssociationThresholds(ScoresOf(row), thresholds, checks.AnyThresholdSuffices());
}

QString RelationshipThresholdsText(const TConcgramMutualChecks& checks)
{
    if (!checks.ChecksOn())
        return {};
    QStringList parts;
    for (const TAssociationEntry& e : AssociationTable())
        parts << QStringLiteral("%1 >= %2")
                     .arg(QString::fromUtf8(e.caption.data(), qsizetype(e.caption.size())))
                     .arg(Number(checks.Threshold(int(e.id))));
    return parts.join(checks.AnyThresholdSuffices() ? QStringLiteral(" or ") : QStringLiteral(", "));
}

bool ComputeCollocateRelationships(TCollocateList& collocates, const TCVWordList& reference, int64_t referenceTokens,
                                   TCollocateRelationshipChoices& choices, const TCollocateRelationshipOptions& options,
                                   int32_t preferredColumn, Tdouble_smallint_type horizons,
                                   const TCollocateNodes& nodes)
{
    choices = {};
    if (collocates.Count() == 0) {
        choices.failure = QStringLiteral("There are no collocates to relate.");
        return false;
    }
    const int64_t n = referenceTokens > 0 ? referenceTokens : reference.ComputedCurrentTokens();
    if (n <= 0 || reference.Count() == 0) {
        choices.failure = QStringLiteral("The reference word list %1 holds no words.")
                              .arg(options.referenceName.isEmpty() ? QString() : u'"' + options.referenceName + u'"')
                              .simplified();
        return false;
    }
    const TJointColumn joint = JointColumnFor(collocates, preferredColumn, horizons);
    if (joint.span <= 0) {
        choices.failure = QStringLiteral("The collocate horizons (%1 left, %2 right) look at no word.")
                              .arg(horizons.left)
                              .arg(horizons.right);
        return false;
    }

    const TWordFolder folder(TCaseFolding::Upper, options.languageId);
    const std::unordered_map<QString, int64_t> refFreq = ReferenceFrequencies(reference, folder);
    const uint8_t spanLeft = collocates.Span().left;

    QStringList details;
    const bool wantDetails = !options.detailsFileName.isEmpty();
    if (wantDetails) {
        details << QStringLiteral("Collocate relationships")
                << QStringLiteral("Reference word list\t%1").arg(options.referenceName)
                << QStringLiteral("Running words (N)\t%1").arg(n)
                << QStringLiteral("Joint frequency\t%1").arg(joint.caption)
                << QStringLiteral("Span (S)\t%1").arg(joint.span) << QString();
        QStringList heading{QStringLiteral("Collocate"), QStringLiteral("Search word"), QStringLiteral("f_AB"),
                            QStringLiteral("f_A"),       QStringLiteral("f_B"),         QStringLiteral("In reference"),
                            QStringLiteral("Expected")};
        for (const TAssociationEntry& e : AssociationTable())
            heading << QString::fromUtf8(e.caption.data(), qsizetype(e.caption.size()));
        details << heading.join(u'\t');
    }

    for (int i = 0; i < collocates.Count(); ++i) {
        TCollocateEntryRec32& row = collocates.Entry(i)->Data();
        // The search word found at its own place is no collocate of itself.
        if (row.sw_number == -99) {
            for (int k = 0; k < kAssociationCount; ++k)
                row.block.SetScore(k, 0);
            continue;
        }
        const int64_t fAB = JointFrequency(row, joint, spanLeft);
        int64_t fA = nodes.allLines;
        if (row.sw_number >= 0 && size_t(row.sw_number) < nodes.linesPerSearchWord.size())
            fA = nodes.linesPerSearchWord[size_t(row.sw_number)];
        const auto known = refFreq.find(folder.Folded(row.word));
        const int64_t inReference = known == refFreq.end() ? 0 : known->second;
        const int64_t fB = inReference > 0 ? inReference : fAB;
        const TAssociationScores scores = AssociationScores(double(fAB), double(fA), double(fB), double(n), joint.span);
        for (int k = 0; k < kAssociationCount; ++k)
            row.block.SetScore(k, float(scores[size_t(k)]));
        ++choices.scored;
        if (wantDetails) {
            QStringList cells{row.prefix_or_tag + row.word + row.suffix,
                              row.sw_number >= 0 ? row.search_word : nodes.searchWords.join(u'/'),
                              QString::number(fAB),
                              QString::number(fA),
                              QString::number(fB),
                              inReference > 0 ? QStringLiteral("yes") : QStringLiteral("no"),
                              Number(ExpectedJointFrequency(double(fA), double(fB), double(n), joint.span))};
            for (double s : scores)
                cells << Number(float(s));
            details << cells.join(u'\t');
        }
    }
    collocates.fAssociationPresent = true;
    collocates.SetScoreColumnsHidden(false);
    collocates.CollocateSettings.saved_relationships_computed = true;
    choices.result = true;

    if (wantDetails) {
        QString error;
        if (!SaveUtf16TextFile(options.detailsFileName, details, &error))
            choices.failure = error;
    }
    return true;
}

} // namespace cv
