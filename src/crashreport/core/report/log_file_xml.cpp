// Part of TLogFile (crashreport/core/report/log_file.h), kept apart from the
// log's text form in log_file.cpp: the XML form of the report log, every
// entry read back from its text into elements (the general information, the
// call stack, modules, processes, the assembler listing and the CPU block).
// Entries written by older versions of the library carry fewer blocks; what
// an entry lacks is left out, and nothing in an entry's text can make the
// reader fail.
#include "crashreport/core/report/log_file.h"

#include <algorithm>
#include <cctype>

#include "crashreport/core/report/log_file_text.h"
#include "crashreport/core/report/xml_builder.h"
#include "crashreport/core/support/crashbox_codecs.h"
#include "crashreport/core/support/files_and_folders.h"

namespace cv {

using namespace logtext;

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsBlank(std::string_view line) { return Trim(line).empty(); }

// A stored multi-line value back to its text: the "." that stands for a
// blank first or last line goes, ":_" is ": " again, and a "." line between
// two line breaks is an empty line.
std::string DecodeValue(std::string value)
{
    if (value == ".")
        return {};
    if (value.rfind(".\r\n", 0) == 0)
        value.erase(0, 1);
    if (value.size() >= 3 && value.compare(value.size() - 3, 3, "\r\n.") == 0)
        value.erase(value.size() - 1);
    value = ReplaceAll(value, ":_", ": ");
    for (std::size_t at = value.find("\r\n.\r\n"); at != std::string::npos; at = value.find("\r\n.\r\n", at + 2))
        value.erase(at + 2, 1);
    return value;
}

// The cells of a table row "|a|b|c|", untrimmed.
std::vector<std::string> RowCells(std::string_view row)
{
    if (StartsWith(row, "|"))
        row.remove_prefix(1);
    if (!row.empty() && row.back() == '|')
        row.remove_suffix(1);
    std::vector<std::string> cells;
    for (;;) {
        const std::size_t bar = row.find('|');
        cells.emplace_back(row.substr(0, bar));
        if (bar == std::string_view::npos)
            return cells;
        row.remove_prefix(bar + 1);
    }
}

// A table: its top border, the caption row, the border under it, the rows,
// and the bottom border.
struct TTable {
    std::size_t top = 0;
    std::size_t firstRow = 0;
    std::size_t bottom = 0; // the bottom border (or the end of the lines when it is missing)
};

bool TableStartsAt(const std::vector<std::string>& lines, std::size_t i)
{
    return i + 1 < lines.size() && IsDashLine(lines[i]) && StartsWith(lines[i + 1], "|");
}

TTable TableAt(const std::vector<std::string>& lines, std::size_t top)
{
    TTable table;
    table.top = top;
    table.firstRow = std::min(top + 3, lines.size());
    std::size_t i = table.firstRow;
    while (i < lines.size() && !IsDashLine(lines[i]))
        ++i;
    table.bottom = i;
    return table;
}

// The blocks after the call stack, each a caption over its dash line and
// then either a table or lines up to the next blank line.
struct TBlock {
    std::size_t caption = 0;
    bool isTable = false;
    TTable table;
    std::size_t first = 0, end = 0; // the lines of a block that is not a table
};

std::vector<TBlock> BlocksAfter(const std::vector<std::string>& lines, std::size_t from)
{
    std::vector<TBlock> blocks;
    for (std::size_t i = from; i < lines.size();) {
        if (IsBlank(lines[i]) || IsDashLine(lines[i]) || i + 1 >= lines.size() || !IsDashLine(lines[i + 1])) {
            ++i;
            continue;
        }
        TBlock block;
        block.caption = i;
        if (TableStartsAt(lines, i + 1)) {
            block.isTable = true;
            block.table = TableAt(lines, i + 1);
            i = block.table.bottom + 1;
        } else {
            block.first = i + 2;
            std::size_t k = block.first;
            while (k < lines.size() && !IsBlank(lines[k]) && !(k + 1 < lines.size() && IsDashLine(lines[k + 1])))
                ++k;
            block.end = k;
            i = std::max(k, i + 2);
        }
        blocks.push_back(block);
    }
    return blocks;
}

// The general information: the numbered sections before the caption of the
// first table.
void AddGeneral(TXMLItem& log, const std::vector<std::string>& all, std::size_t tableTop)
{
    std::vector<std::string> lines(all.begin(), all.begin() + std::ptrdiff_t(tableTop > 0 ? tableTop - 1 : 0));
    while (!lines.empty() && IsBlank(lines.back()))
        lines.pop_back();

    TXMLItem* general = log.AddItem("General");
    TXMLItem* group = nullptr;
    TXMLItem* line = nullptr;
    std::string caption, value;
    auto finishLine = [&] {
        if (line)
            line->AddField("Value", DecodeValue(value));
        line = nullptr;
        value.clear();
    };
    // The version line and the blank line after it are skipped.
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string trimmed = Trim(lines[i]);
        if (trimmed.empty()) {
            finishLine();
            group = nullptr;
            caption.clear();
            continue;
        }
        if (!group && caption.empty()) {
            caption = trimmed.back() == ':' ? trimmed.substr(0, trimmed.size() - 1) : trimmed;
            continue;
        }
        if (!group && IsDashLine(trimmed))
            continue;
        // Item lines are indented by two blanks and begin with their number;
        // the lines of a value below them are indented further.
        const std::size_t colon = trimmed.find(": ");
        const bool numbered = lines[i].size() > 2 && StartsWith(lines[i], "  ") && std::isdigit(uint8_t(lines[i][2]));
        if (!numbered || (colon == std::string::npos && trimmed.back() != ':')) {
            if (line)
                value += "\r\n" + trimmed;
            continue;
        }
        finishLine();
        const std::size_t blank = trimmed.find(' ');
        const std::string id = trimmed.substr(0, blank);
        const std::size_t labelEnd = colon != std::string::npos ? colon : trimmed.size() - 1;
        const std::string label =
            blank == std::string::npos || blank >= labelEnd ? std::string() : Trim(std::string_view(trimmed).substr(blank + 1, labelEnd - blank - 1));
        if (!group) {
            group = general->AddItem("Group");
            group->AddField("ID", id.substr(0, id.find('.')));
            group->AddField("Label", caption);
        }
        line = group->AddItem("Line");
        line->AddField("ID", id);
        line->AddField("Label", label);
        value = colon != std::string::npos ? trimmed.substr(colon + 2) : std::string();
    }
    finishLine();
}

// A name stored enciphered: Base64 of the name's bytes enciphered with the
// block cipher keyed from the log's password.
std::string Decipher(std::string_view base64, const std::string& password)
{
    const std::string bytes = Base64DecodeStr(base64);
    std::string plain(bytes.size(), '\0');
    TTEACipher cipher(password);
    cipher.TEADecryptBuffer(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                            std::span(reinterpret_cast<uint8_t*>(plain.data()), plain.size()));
    while (!plain.empty() && plain.back() == '\0')
        plain.pop_back();
    return plain;
}

bool IsPlainName(std::string_view name)
{
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(uint8_t(c)) || c == '_' || c == '.' || c == '@';
    });
}

struct TStackNames {
    std::string unit, className, procedure;
};

// Unit, class and procedure of a call-stack row, deciphered when the unit
// cell marks them as enciphered and the password is known.
TStackNames StackNames(const std::string& unitCell, const std::string& classCell, const std::string& procCell,
                       const std::string& password)
{
    TStackNames raw{unitCell, classCell, procCell};
    if (password.empty() || unitCell.size() < 2 || unitCell[0] != '?')
        return raw;
    TStackNames names;
    names.unit = Decipher(std::string_view(unitCell).substr(2), password);
    if (!names.unit.empty() && ExtractFileExt(names.unit).empty())
        names.unit += unitCell[1] == 'p' ? ".pas" : ".cpp";
    names.procedure = procCell.empty() ? std::string() : Decipher(std::string_view(procCell).substr(1), password);
    if (const std::size_t dot = names.procedure.find('.'); dot != std::string::npos) {
        names.className = names.procedure.substr(0, dot);
        names.procedure.erase(0, dot + 1);
    } else if (!classCell.empty()) {
        names.className = Decipher(std::string_view(classCell).substr(1), password);
    }
    if (!IsPlainName(names.unit) || !IsPlainName(names.className) || !IsPlainName(names.procedure))
        return raw;
    if (StartsWith(names.procedure, "@"))
        names.procedure[0] = '_';
    return names;
}

// "Kind: ID=1; Priority=0; Class=X; [Main] (message)": the fields by their
// place, whatever language their names are in.
void AddThreadFields(TXMLItem& thread, std::string_view header)
{
    const std::size_t colon = header.find(": ");
    std::string_view fields = colon == std::string_view::npos ? std::string_view() : header.substr(colon + 2);
    bool main = false;
    static constexpr const char* kNames[] = {"ID", "Priority", "Class"};
    std::size_t index = 0;
    while (!fields.empty()) {
        const std::size_t end = fields.find("; ");
        std::string_view field = fields.substr(0, end);
        fields = end == std::string_view::npos ? std::string_view() : fields.substr(end + 2);
        if (StartsWith(field, "[")) {
            main = true;
            continue;
        }
        // A custom message closes the header: " (text)".
        if (const std::size_t open = field.find(" ("); open != std::string_view::npos && header.back() == ')')
            field = field.substr(0, open);
        const std::size_t equals = field.find('=');
        if (equals != std::string_view::npos && index < 3)
            thread.AddField(kNames[index++], std::string(field.substr(equals + 1)));
    }
    thread.AddField("MainThread", main ? "True" : "False");
}

// "+Memory Leak: Type=Data; Total size=48; Count=3".
void AddLeakFields(TXMLItem& leak, std::string_view header)
{
    const std::size_t colon = header.find(": ");
    std::string_view fields = colon == std::string_view::npos ? std::string_view() : header.substr(colon + 2);
    static constexpr const char* kNames[] = {"Type", "Size", "Count"};
    for (std::size_t index = 0; !fields.empty() && index < 3;) {
        const std::size_t end = fields.find("; ");
        const std::string_view field = fields.substr(0, end);
        fields = end == std::string_view::npos ? std::string_view() : fields.substr(end + 2);
        if (const std::size_t equals = field.find('='); equals != std::string_view::npos)
            leak.AddField(kNames[index++], std::string(field.substr(equals + 1)));
    }
}

void AddCallStack(TXMLItem& log, const std::vector<std::string>& lines, const TTable& table, bool beforeV5,
                  const std::string& password)
{
    TXMLItem* stack = log.AddItem("CallStack");
    TXMLItem* block = nullptr;
    bool blankBefore = false;
    for (std::size_t i = table.firstRow; i < table.bottom; ++i) {
        std::vector<std::string> cells = RowCells(lines[i]);
        if (cells.size() >= 6) {
            if (!block)
                block = stack->AddItem("ExceptionThread");
            // A "|" inside a procedure's name (an operator) splits its cell.
            std::string procedure = cells[4];
            for (std::size_t k = 5; k + 1 < cells.size(); ++k)
                procedure += "|" + cells[k];
            const std::string lineCell = Trim(cells.back());
            const TStackNames names = StackNames(Trim(cells[2]), Trim(cells[3]), Trim(procedure), password);
            TXMLItem* row = block->AddItem("Line");
            row->AddField("Address", Trim(cells[0]));
            row->AddField("Module", Trim(cells[1]));
            row->AddField("Unit", names.unit);
            row->AddField("Class", names.className);
            row->AddField("Procedure", names.procedure);
            const std::size_t open = lineCell.find('[');
            row->AddField("Number", Trim(std::string_view(lineCell).substr(0, open)));
            std::string offset;
            if (open != std::string::npos)
                offset = Trim(std::string_view(lineCell).substr(open + 1, lineCell.find(']', open) - open - 1));
            row->AddField("Offset", offset);
            blankBefore = false;
            continue;
        }
        std::string header = Trim(cells.front());
        for (std::size_t k = 1; k < cells.size(); ++k)
            header += "|" + cells[k];
        header = Trim(header);
        if (header.empty()) {
            blankBefore = true;
            continue;
        }
        if (IsDashLine(header) || beforeV5)
            continue;
        // The exception's thread is starred, a leak block has a plus; a
        // running thread's block has a blank row before it (the first block
        // excepted), a calling thread's none.
        if (header[0] == '+') {
            block = stack->AddItem("MemoryLeak");
            AddLeakFields(*block, header);
        } else {
            const char* kind = header[0] == '*' ? "ExceptionThread" : (blankBefore || stack->Items().Count() == 0) ? "RunningThread" : "CallingThread";
            block = stack->AddItem(kind);
            AddThreadFields(*block, header);
        }
        blankBefore = false;
    }
}

void AddTable(TXMLItem& log, const std::vector<std::string>& lines, const TTable& table, const char* name, const char* rowName,
              std::initializer_list<const char*> columns)
{
    TXMLItem* element = log.AddItem(name);
    for (std::size_t i = table.firstRow; i < table.bottom; ++i) {
        const std::vector<std::string> cells = RowCells(lines[i]);
        TXMLItem* row = element->AddItem(rowName);
        std::size_t k = 0;
        for (const char* column : columns) {
            row->AddField(column, k < cells.size() ? Trim(cells[k]) : std::string());
            ++k;
        }
    }
}

void AddAssembler(TXMLItem& log, const std::vector<std::string>& lines, const TBlock& block)
{
    TXMLItem* element = log.AddItem("Assembler");
    for (std::size_t i = block.first; i < block.end; ++i) {
        const std::string_view text = lines[i];
        const std::size_t semicolon = text.find(';');
        const std::string_view code = text.substr(0, semicolon);
        const std::string trimmed = Trim(code);
        const std::size_t blank = trimmed.find(' ');
        TXMLItem* row = element->AddItem("Line");
        row->AddField("Address", trimmed.substr(0, blank));
        row->AddField("Command", blank == std::string::npos ? std::string() : Trim(std::string_view(trimmed).substr(blank + 1)));
        row->AddField("Comment", semicolon == std::string_view::npos ? std::string() : Trim(text.substr(semicolon + 1)));
    }
}

// The first line of the registers ("EAX: ..." in 32-bit reports, "RAX: ..." in 64-bit ones).
bool IsRegisterLine(std::string_view line) { return StartsWith(line, "EAX: ") || StartsWith(line, "RAX: "); }

// "Stack value and memory dump" lines: "ADDR: VALUE ADDR: XX XX ... XX  chars".
void AddDumpLine(TXMLItem& stack, TXMLItem& dump, std::string_view line)
{
    const std::size_t first = line.find(": ");
    if (first == std::string_view::npos)
        return;
    std::string_view rest = line.substr(first + 2);
    const std::size_t blank = rest.find(' ');
    TXMLItem* stackLine = stack.AddItem("Line");
    stackLine->AddField("Address", std::string(line.substr(0, first)));
    stackLine->AddField("Value", std::string(rest.substr(0, blank)));
    if (blank == std::string_view::npos)
        return;
    rest.remove_prefix(blank + 1);
    const std::size_t second = rest.find(": ");
    if (second == std::string_view::npos)
        return;
    const std::string address(rest.substr(0, second));
    rest.remove_prefix(second + 2);
    std::string bytes;
    int count = 0;
    while (count < 16 && rest.size() >= 3 && std::isxdigit(uint8_t(rest[0])) && std::isxdigit(uint8_t(rest[1])) && rest[2] == ' ') {
        if (count++ > 0)
            bytes += ' ';
        bytes.append(rest.substr(0, 2));
        rest.remove_prefix(3);
    }
    if (!rest.empty() && rest[0] == ' ')
        rest.remove_prefix(1);
    TXMLItem* dumpLine = dump.AddItem("Line");
    dumpLine->AddField("Address", address);
    dumpLine->AddField("Bytes", bytes);
    dumpLine->AddField("Chars", std::string(rest));
}

void AddCPU(TXMLItem& log, const std::vector<std::string>& lines, std::size_t from)
{
    std::size_t i = from;
    while (i < lines.size() && !IsRegisterLine(lines[i]))
        ++i;
    if (i >= lines.size())
        return;
    TXMLItem* cpu = log.AddItem("CPU");
    TXMLItem* registers = cpu->AddItem("Registers");
    for (; i < lines.size() && !IsBlank(lines[i]); ++i) {
        // "EAX: 0000002A   EDI: 00000000": names end in ":", each followed by its value.
        std::string_view rest = lines[i];
        while (!rest.empty()) {
            const std::size_t colon = rest.find(": ");
            if (colon == std::string_view::npos)
                break;
            const std::string name = Trim(rest.substr(0, colon));
            rest.remove_prefix(colon + 2);
            const std::size_t gap = rest.find("   ");
            registers->AddField(name, Trim(rest.substr(0, gap)));
            rest = gap == std::string_view::npos ? std::string_view() : rest.substr(gap + 3);
        }
    }
    // The stack and the memory dump side by side, under a line of two dash runs.
    while (i < lines.size() && !(StartsWith(lines[i], "---") && lines[i].find(' ') != std::string::npos))
        ++i;
    TXMLItem* stack = cpu->AddItem("Stack");
    TXMLItem* dump = cpu->AddItem("MemoryDump");
    for (++i; i < lines.size() && !IsBlank(lines[i]); ++i)
        AddDumpLine(*stack, *dump, lines[i]);
}

// The XML of one entry, its lines indented as the Doc's children.
std::string EntryXML(const std::string& entry, const std::string& password)
{
    const std::string version = TLogFile::EntryVersion(entry);
    const bool beforeV5 = version < "5.0";
    const bool beforeV6 = version < "6.0";
    const std::vector<std::string> lines = SplitLines(entry);

    std::size_t top = lines.size();
    for (std::size_t i = 1; i < lines.size(); ++i)
        if (TableStartsAt(lines, i)) {
            top = i;
            break;
        }

    TXMLItem log("Log");
    log.AddField("Version", version);
    AddGeneral(log, lines, top);
    if (top < lines.size()) {
        const TTable callStack = TableAt(lines, top);
        AddCallStack(log, lines, callStack, beforeV5, password);
        const std::vector<TBlock> blocks = BlocksAfter(lines, callStack.bottom + 1);
        if (!blocks.empty() && blocks[0].isTable)
            AddTable(log, lines, blocks[0].table, "Modules", "Module",
                     {"Handle", "Name", "Description", "Version", "Size", "Modified", "Path"});
        if (!beforeV6 && blocks.size() > 1 && blocks[1].isTable)
            AddTable(log, lines, blocks[1].table, "Processes", "Process",
                     {"ID", "Name", "Description", "Version", "Memory", "Priority", "Threads", "Path"});
        if (!beforeV6 && blocks.size() > 2 && !blocks[2].isTable)
            AddAssembler(log, lines, blocks[2]);
        AddCPU(log, lines, callStack.bottom + 1);
        if (beforeV5) {
            // Such entries carry the reproduce text after their third table.
            std::size_t tables = 0, i = 0;
            for (; i < lines.size() && tables < 3; ++i)
                if (TableStartsAt(lines, i)) {
                    i = TableAt(lines, i).bottom;
                    ++tables;
                }
            if (tables == 3)
                log.AddItem("HoToReproduce")->AddField("Text", Trim(JoinLines(lines, i)));
        }
    }
    return log.XMLText();
}

// Every line but the first and the last indented by two more blanks.
std::string IndentInner(const std::string& text)
{
    std::vector<std::string> lines = SplitLines(text);
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 0 && i + 1 != lines.size())
            out += "  ";
        out += lines[i];
        out += "\r\n";
    }
    return out;
}

} // namespace

std::string TLogFile::XML() const
{
    std::string entries;
    for (const std::string& entry : FList)
        entries += EntryXML(entry, FPassword);
    return IndentInner("<Doc>\r\n" + entries + "</Doc>\r\n");
}

} // namespace cv
