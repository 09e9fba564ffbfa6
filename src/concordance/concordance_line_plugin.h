#pragma once
// The user's concordance-line filter: a shared library, named per tool in
// the settings buffer (GetUseUserFilter / GetUserDLLFileName), exporting the
// C function "HandleConcordanceLine". Every line the concordance would keep
// is handed to it first; it may drop the line, and it may change the line's
// characters in place (never its length).
//
// The C interface (docs/concordance-line-plugin.md):
//
//   int32_t HandleConcordanceLine(uint16_t* line, int32_t midpoint,
//                                 int32_t hit_characters, int64_t byte_position,
//                                 int32_t word_number, int32_t char_width,
//                                 const uint16_t* file_name);
//
// `line` and `file_name` are zero-terminated UTF-16. Return 0 to drop the
// line, anything else to keep it. A filter that throws, or that overwrites the
// line's terminating zero or puts a zero inside the line, loses that line and
// counts a fault.

#include <QString>

#include <cstdint>
#include <memory>

namespace cv {

class TSharedLibrary;

extern "C" {
using THandleConcordanceLineFunction = int32_t (*)(uint16_t* line, int32_t midpoint, int32_t hitCharacters,
                                                   int64_t bytePosition, int32_t wordNumber, int32_t charWidth,
                                                   const uint16_t* fileName);
}

class TConcordanceLinePlugin {
public:
    static constexpr const char* kEntryPoint = "HandleConcordanceLine";
    // Character width passed for lines of 16-bit characters (the only kind held).
    static constexpr int32_t kWideCharacters = 65535;

    // Opens the library and finds the entry point. Null, with the reason
    // naming the file in `error`, when the file is missing, cannot be loaded
    // or does not export the entry point.
    static std::unique_ptr<TConcordanceLinePlugin> Load(const QString& libraryPath, QString* error);
    // The filter the settings buffer asks for this tool: null with an empty
    // error when none is wanted, null with the reason when it cannot be bound.
    static std::unique_ptr<TConcordanceLinePlugin> LoadForTool(uint8_t tool, QString* error);
    // A filter that is a function of this program (tests, scripts).
    static std::unique_ptr<TConcordanceLinePlugin> FromFunction(THandleConcordanceLineFunction function,
                                                               const QString& name);

    ~TConcordanceLinePlugin();
    TConcordanceLinePlugin(const TConcordanceLinePlugin&) = delete;
    TConcordanceLinePlugin& operator=(const TConcordanceLinePlugin&) = delete;

    // Hands the line to the filter. False: drop it (the filter said so, or failed).
    // `fileName` must stay unchanged between calls for the same text (its
    // UTF-16 form is handed over without copying).
    bool KeepLine(QString& line, int32_t midpoint, int32_t hitCharacters, int64_t bytePosition, int32_t wordNumber,
                  const QString& fileName);

    QString LibraryPath() const { return fLibraryPath; }
    int64_t FaultCount() const { return fFaults; }
    QString FirstFault() const { return fFirstFault; }

private:
    TConcordanceLinePlugin(std::unique_ptr<TSharedLibrary> library, THandleConcordanceLineFunction function,
                           QString name);
    void NoteFault(const QString& what);

    std::unique_ptr<TSharedLibrary> fLibrary;
    THandleConcordanceLineFunction fFunction = nullptr;
    QString fLibraryPath;
    int64_t fFaults = 0;
    QString fFirstFault;
};

} // namespace cv
