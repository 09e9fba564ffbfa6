#pragma once
// The 57-byte record that opens every saved result of the suite's tools.
//
// Layout (little-endian; docs/document-envelope.md):
//   0   4  magic "CVSF"
//   4   4  tool signature: the format generation of the suite in the high
//          16 bits, the number of the tool that wrote the file in the low 8
//   8   4  version: the document version the file was written with
//  12   1  kind: the list type of the document
//  13   4  spare, zero
//  17  40  list-type signature: ASCII, zero padded
// Readers check it before anything else of a file is read.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace cv {

class TStream;

// The generation of the saved formats of this suite. A file of a later
// generation is refused; earlier generations do not exist.
constexpr uint16_t kSuiteFormatGeneration = 7;

// The signature a tool writes into its files and gives its lists.
constexpr uint32_t MakeToolSignature(uint8_t tool) { return (uint32_t(kSuiteFormatGeneration) << 16) | tool; }
uint32_t CurrentToolSignature();

enum class TSignatureCheck : uint8_t {
    OK = 0,
    TooShort,      // fewer than 57 bytes
    NotOurs,       // the magic is missing: not a result file of the suite
    NewerFormat,   // a later generation of the suite's formats
    NewerVersion,  // a document version this program does not know yet
    Damaged,       // fields that cannot be (version below 1, spare bytes set, signature text not ASCII)
};

struct TCheckSignature {
    static constexpr int kSize = 57;
    static constexpr int kListSignatureChars = 40;
    static constexpr std::array<uint8_t, 4> kMagic{'C', 'V', 'S', 'F'};

    uint32_t ToolSignature = 0;
    int32_t Version = 0;
    uint8_t Kind = 0;
    QByteArray ListTypeSignature; // at most 40 ASCII characters

    uint16_t FormatGeneration() const { return uint16_t(ToolSignature >> 16); }
    uint8_t WritingTool() const { return uint8_t(ToolSignature & 0xFF); }

    // Fills the record for a file written now by this tool.
    void SetForSaving(uint8_t kind, int32_t version, const QString& listTypeSignature);

    bool SaveToStream(TStream& s) const;
    // Reads the 57 bytes and checks them; on anything but OK the fields are unspecified.
    TSignatureCheck ReadFromStream(TStream& s, int32_t newestVersion);
    static QString CheckText(TSignatureCheck c);
};

} // namespace cv
