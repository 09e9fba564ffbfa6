// Part of TKWDBList (keywords/kwdb_list.h), kept apart from the list because
// only this part uses the matrix library: the text export of the key-word
// database (docs/kws-file.md, "Database text export").

#include "keywords/kwdb_list.h"

#include "files/save_file.h"
#include "maths/sdl_errors.h"
#include "maths/sdl_intmatrix.h"
#include "maths/sdl_matrix.h"
#include "maths/sdl_vector.h"
#include "model/stats_list.h"

#include <QFileInfo>
#include <QTextStream>

#include <cmath>

namespace cv {

namespace {

QString Number(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

} // namespace

bool TKWDBList::SaveAsMatrixText(const QString& fileName, QString* error) const
{
    auto fail = [&](const QString& reason) {
        if (error)
            *error = QStringLiteral("Cannot save file \"%1\": %2").arg(fileName, reason);
        return false;
    };

    // The texts of the database (files used), numbered 1.. as matrix columns.
    std::vector<int32_t> columnOfFile(fComputeKWDBFiles.size(), 0);
    QStringList texts;
    for (int f = 0; f < fComputeKWDBFiles.size(); ++f)
        if (fComputeKWDBFileObjects[std::size_t(f)] >= 0) {
            texts << QFileInfo(fComputeKWDBFiles[f]).fileName();
            columnOfFile[std::size_t(f)] = int32_t(texts.size());
        }
    const int32_t k = int32_t(texts.size());
    const int32_t n = Count();
    if (k == 0 || n == 0)
        return fail(QStringLiteral("the database holds no key words"));

    QString text;
    try {
        // Where each key word (rows) is key in each text (columns): 1, else 0.
        TIntMatrix keyIn;
        keyIn.SetName(QStringLiteral("key in"));
        keyIn.Resize(k, n);
        // Its frequencies there, 64-bit (beyond what an integer matrix cell holds).
        std::vector<int64_t> freqs(std::size_t(k) * std::size_t(n), 0);
        auto freqAt = [&](int32_t c, int32_t r) -> int64_t& { return freqs[std::size_t(r - 1) * std::size_t(k) + std::size_t(c - 1)]; };
        // Keyness likewise; 0 where the word is not key.
        TMatrix keyness;
        keyness.SetName(QStringLiteral("keyness"));
        keyness.SetNrOfColumns(k);
        keyness.SetNrOfRows(n);
        for (int32_t r = 1; r <= n; ++r)
            for (const TKWDBOccurrence& o : Entry(r - 1).data.occurrences) {
                const int32_t c = columnOfFile[std::size_t(o.file)];
                if (c > 0) {
                    freqAt(c, r) += o.freq;
                    keyIn.SetElem(c, r, 1);
                    keyness.SetElem(c, r, o.keyness);
                }
            }

        // Per key word: its mean keyness over the texts it is key in.
        TVector meanKeyness;
        meanKeyness.Resize(n);
        // Per text: its key words, and how central it is (mean Dice with the others).
        TIntVector keyWordsOfText;
        keyWordsOfText.Resize(k);
        TVector centrality;
        centrality.Resize(k);
        for (int32_t r = 1; r <= n; ++r) {
            double sum = 0;
            int32_t present = 0;
            for (int32_t c = 1; c <= k; ++c)
                if (keyIn.GetElem(c, r) > 0) {
                    sum += keyness.GetElem(c, r);
                    ++present;
                }
            meanKeyness.SetElem(r, present > 0 ? sum / present : 0);
        }
        for (int32_t c = 1; c <= k; ++c) {
            int32_t words = 0;
            for (int32_t r = 1; r <= n; ++r)
                words += keyIn.GetElem(c, r);
            keyWordsOfText.SetElem(c, words);
        }
        // Shared key words of two texts, then the Dice of their key-word sets.
        TMatrix similarity;
        similarity.SetName(QStringLiteral("similarity"));
        similarity.Resize(k, k);
        for (int32_t r = 0; r < n; ++r) {
            const auto& occ = Entry(r).data.occurrences;
            for (std::size_t a = 0; a < occ.size(); ++a)
                for (std::size_t b = a + 1; b < occ.size(); ++b) {
                    const int32_t ca = columnOfFile[std::size_t(occ[a].file)], cb = columnOfFile[std::size_t(occ[b].file)];
                    if (ca > 0 && cb > 0 && ca != cb) {
                        similarity.SetElem(ca, cb, similarity.GetElem(ca, cb) + 1);
                        similarity.SetElem(cb, ca, similarity.GetElem(cb, ca) + 1);
                    }
                }
        }
        for (int32_t a = 1; a <= k; ++a)
            for (int32_t b = 1; b <= k; ++b) {
                const double both = keyWordsOfText.GetElem(a) + keyWordsOfText.GetElem(b);
                const double dice = a == b ? 1.0 : (both > 0 ? 2.0 * similarity.GetElem(a, b) / both : 0.0);
                similarity.SetElem(a, b, dice);
            }
        for (int32_t a = 1; a <= k; ++a) {
            double sum = 0;
            for (int32_t b = 1; b <= k; ++b)
                if (b != a)
                    sum += similarity.GetElem(a, b);
            centrality.SetElem(a, k > 1 ? sum / (k - 1) : 0);
        }
        double meanCentrality = 0, varCentrality = 0;
        centrality.MeanVar(1, k, meanCentrality, varCentrality);

        QTextStream out(&text);
        const QString header = texts.join(QLatin1Char('\t'));
        out << "Key-word database\t" << n << " key words\t" << k << " texts\n\n";
        out << "Frequencies\nKey word\tTexts\tMean keyness\t" << header << '\n';
        for (int32_t r = 1; r <= n; ++r) {
            out << Entry(r - 1).data.word << '\t' << Entry(r - 1).data.texts << '\t' << Number(meanKeyness.GetElem(r), 2);
            for (int32_t c = 1; c <= k; ++c)
                out << '\t' << qint64(freqAt(c, r));
            out << '\n';
        }
        out << "\nKeyness\nKey word\t" << header << '\n';
        for (int32_t r = 1; r <= n; ++r) {
            out << Entry(r - 1).data.word;
            for (int32_t c = 1; c <= k; ++c)
                out << '\t' << Number(keyness.GetElem(c, r), 2);
            out << '\n';
        }
        out << "\nTexts\nText\tKey words\tCentrality\n";
        for (int32_t c = 1; c <= k; ++c)
            out << texts[c - 1] << '\t' << keyWordsOfText.GetElem(c) << '\t' << Number(centrality.GetElem(c), 4) << '\n';
        out << "Mean centrality\t\t" << Number(meanCentrality, 4) << '\n';
        out << "Std. dev.\t\t" << Number(std::sqrt(std::max(0.0, varCentrality)), 4) << '\n';
        out << "\nText similarity (Dice of key words)\nText\t" << header << '\n';
        for (int32_t a = 1; a <= k; ++a) {
            out << texts[a - 1];
            for (int32_t b = 1; b <= k; ++b)
                out << '\t' << Number(similarity.GetElem(a, b), 4);
            out << '\n';
        }
    } catch (const ESDLError& e) {
        return fail(e.Message());
    }

    TSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly))
        return fail(f.errorString());
    const QByteArray bytes = text.toUtf8();
    if (f.write(bytes) != bytes.size() || !f.commit())
        return fail(f.errorString());
    return true;
}

} // namespace cv
