#pragma once
// The report archive and the expansion of compressed module data.
//
// TZipWriter packs the report's files (log copy, screenshot, XML copy, the
// user's attachments) into one zip archive through minizip, each entry
// deflated at level 9 and, when a password is given, protected with the
// traditional zip encryption. A file that cannot be read is left out and the
// archive stays valid. DecompressBuf expands a zlib stream held in memory.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace cv {

// Raised for a negative zlib result, with zlib's own text for the code.
class EZLibError : public std::runtime_error {
public:
    explicit EZLibError(int code);
    int Code() const { return m_code; }

private:
    int m_code;
};

// zlib's text for a negative result code ("data error" and the like).
const char* ZLibErrorText(int code);

class TZipWriter final {
public:
    // Removes any file (or link) of that name and starts a new archive there,
    // readable and writable by its user alone; an empty password means
    // entries are not encrypted.
    TZipWriter(const std::string& fileName, const std::string& password);
    // Closes the last entry and the archive (no global comment).
    ~TZipWriter();
    TZipWriter(const TZipWriter&) = delete;
    TZipWriter& operator=(const TZipWriter&) = delete;

    // False when the archive could not be created.
    bool IsOpen() const { return m_zip != nullptr; }
    // Adds the file under nameInArchive, with its last-write time. A file
    // that is missing or cannot be read whole is not added; nothing else
    // happens (the answer says whether it went in).
    bool AddFile(const std::string& fileName, const std::string& nameInArchive);

private:
    void* m_zip = nullptr; // minizip's zipFile
    std::string m_password;
};

// Inflates a zlib stream (with its header) into a new block, growing the
// block by the input size rounded up to 256 bytes each time inflate asks for
// more room. A damaged stream ends the expansion with what was produced so
// far; EZLibError when zlib cannot start or end.
std::vector<uint8_t> DecompressBuf(std::span<const uint8_t> input);

} // namespace cv
