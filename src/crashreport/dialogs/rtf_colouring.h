#pragma once
// The detailed dialog's coloured report tabs: the General, Assembler and CPU
// texts of the report as RTF documents (read back by rtf_reader.h).

#include <string>
#include <string_view>

namespace cv {

// "\" "\\", "{" "\{", "}" "\}", a line break "\par" and the line break;
// characters beyond ASCII as "\u" and their UTF-16 units.
std::string TextToRTF(std::string_view text);

struct TRTFFont {
    int charset = 0;
    std::string name = "Courier New";
    int pointSize = 8;
};
// A whole RTF document: the font and colour table, then the text coloured
// line by line. Colours: 1 headings, 2 values and plain text, 3 labels,
// 4 first words and addresses, 5 item numbers and the exception's line,
// 6 assembler comments, 7 the exception's comment.
std::string GeneralTextToRTF(std::string_view text, const TRTFFont& font);
std::string AssemblerTextToRTF(std::string_view text, const TRTFFont& font);
std::string CPUTextToRTF(std::string_view text, const TRTFFont& font);

} // namespace cv
