#pragma once
// Case folding of words for counting, as the text settings ask: to lower
// case (the default), to upper case, or kept. One table maps every UTF-16
// unit, so folding costs a look-up per character; characters outside the
// Basic Multilingual Plane go through Qt's case mapping. For Turkish and
// Azeri the dotted and dotless i keep their own pairs (I <-> ı, İ <-> i).

#include "suite/text_settings.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace cv {

class TWordFolder {
public:
    explicit TWordFolder(const TTextSettings& settings);
    TWordFolder(TCaseFolding folding, uint32_t languageId);

    TCaseFolding Folding() const { return fFolding; }
    // Folds units[0, length) into out (room for `length` units); returns
    // whether any unit is outside ASCII.
    bool Fold(const char16_t* units, int32_t length, char16_t* out) const;
    QString Folded(const QString& word) const;
    char16_t FoldUnit(char16_t c) const { return (*fTable)[c]; }
    // The unit table (for cutters that fold as they scan), and the step
    // that then folds characters outside the Basic Multilingual Plane.
    const std::array<char16_t, 65536>& Table() const { return *fTable; }
    void FoldSupplementary(const char16_t* units, int32_t length, char16_t* out) const;
    // Whether ASCII letters fold as plain A-Z <-> a-z (not so for Turkish),
    // so that a cutter may fold ASCII words without the table.
    bool AsciiFoldsPlainly() const { return fAsciiPlain; }

private:

    TCaseFolding fFolding;
    const std::array<char16_t, 65536>* fTable;
    std::unique_ptr<std::array<char16_t, 65536>> fOwnTable; // the Turkish variants
    bool fAsciiPlain = true;
};

} // namespace cv
