#pragma once
// The user's word filter: a shared library, named per tool in the settings
// buffer (GetUseUserFilter / GetUserDLLFileName), exporting the C function
// "WordlistChangeWord". When a word list is made, every word type passes
// through it once with its frequency; the filter may keep the word, drop it,
// or hand back another spelling and another frequency.
//
// The C interface (docs/word-filter-plugin.md) carries no C++ types across the
// boundary: UTF-16 buffers with lengths in units, 32-bit integers.
//
//   int32_t WordlistChangeWord(const uint16_t* word, int32_t word_length,
//                              uint16_t* new_word, int32_t new_word_capacity,
//                              int32_t* new_word_length, int32_t* frequency);
//
// Return 0 keep (the frequency as *frequency now holds it), 1 drop,
// 2 changed (the word becomes new_word[0 .. *new_word_length)). A frequency
// of 0 or an empty changed word drops the word too. Anything else,
// a length outside the buffer or a negative frequency is a fault of the
// filter: the word is kept as it came, and the fault is counted.

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace cv {

class TSharedLibrary;

extern "C" {
using TWordlistChangeWordFunction = int32_t (*)(const uint16_t* word, int32_t wordLength, uint16_t* newWord,
                                                int32_t newWordCapacity, int32_t* newWordLength, int32_t* frequency);
}

class TWordFilterPlugin {
public:
    // Return codes of "WordlistChangeWord".
    enum : int32_t { kKeep = 0, kDrop = 1, kChanged = 2 };
    // Units of the buffer the filter may write a changed word into.
    static constexpr int32_t kNewWordCapacity = 1024;
    static constexpr const char* kEntryPoint = "WordlistChangeWord";

    // Opens the library and finds the entry point. Null (and the reason,
    // naming the file, in error) when the file is missing, cannot be loaded,
    // or does not export the entry point.
    static std::unique_ptr<TWordFilterPlugin> Load(const QString& libraryPath, QString* error);
    // The filter the settings buffer asks for this tool: null with an empty
    // error when none is wanted (switch off or no file named), null with the
    // reason when one is wanted but cannot be loaded.
    static std::unique_ptr<TWordFilterPlugin> LoadForTool(uint8_t tool, QString* error);

    ~TWordFilterPlugin();
    TWordFilterPlugin(const TWordFilterPlugin&) = delete;
    TWordFilterPlugin& operator=(const TWordFilterPlugin&) = delete;

    // Passes one word type through the filter. False: drop the word. True:
    // keep it; word and frequency hold what the filter made of them.
    bool ChangeWord(QString& word, int32_t& frequency);

    QString LibraryPath() const { return fLibraryPath; }
    // Calls whose answer broke the interface, and what the first one did.
    int64_t FaultCount() const { return fFaults; }
    QString FirstFault() const { return fFirstFault; }

private:
    TWordFilterPlugin(std::unique_ptr<TSharedLibrary> library, TWordlistChangeWordFunction function);
    void NoteFault(const QString& word, const QString& what);

    std::unique_ptr<TSharedLibrary> fLibrary;
    TWordlistChangeWordFunction fFunction = nullptr;
    QString fLibraryPath;
    std::vector<uint16_t> fBuffer;
    int64_t fFaults = 0;
    QString fFirstFault;
};

} // namespace cv
