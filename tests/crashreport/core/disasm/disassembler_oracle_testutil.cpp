#include "crashreport/core/disasm/disassembler_oracle_testutil.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <span>

namespace cvtest {

namespace {

struct PipeCloser {
    void operator()(std::FILE* f) const { pclose(f); }
};

std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool isHex(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// A number as a signed value. In 32-bit code every operand has at most 32
// bits, so a value that fills the high half of its 16 or 32 bits is the
// negative number of that width (the listing writes -$10 where objdump
// writes 0xfffffff0). Long-mode listings write each operand's own value as
// objdump does, so there a number is only read as 64-bit two's complement:
// an immediate that lost its sign (mov rax, $FFFFFFFF where objdump has
// 0xffffffffffffffff) stays a disagreement.
int64_t canonical(uint64_t v, bool is32)
{
    if (!is32 || v >= (uint64_t(1) << 63))
        return int64_t(v);
    if (v >= (uint64_t(1) << 31) && v < (uint64_t(1) << 32))
        return int64_t(v) - (int64_t(1) << 32);
    if (v >= (uint64_t(1) << 15) && v < (uint64_t(1) << 16))
        return int64_t(v) - (int64_t(1) << 16);
    return int64_t(v);
}

// Lower case, one blank for any run of blanks, none after a comma, trimmed.
std::string collapsed(const std::string& s)
{
    std::string out;
    bool blank = false;
    for (char c : s) {
        if (c == ' ' || c == '\t') {
            blank = true;
            continue;
        }
        if (blank && !out.empty() && out.back() != ',' && c != ',')
            out += ' ';
        blank = false;
        out += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

void replaceAll(std::string& s, const std::string& from, const std::string& to)
{
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

// Every "0x..." or "$..." number as its canonical signed decimal.
std::string numbersCanonical(const std::string& s, bool is32)
{
    std::string out;
    for (size_t i = 0; i < s.size();) {
        size_t digits = 0;
        if (s[i] == '$')
            digits = i + 1;
        else if (s[i] == '0' && i + 1 < s.size() && s[i + 1] == 'x' && (i == 0 || !std::isalnum(static_cast<unsigned char>(s[i - 1]))))
            digits = i + 2;
        if (digits && digits < s.size() && isHex(s[digits])) {
            size_t end = digits;
            while (end < s.size() && isHex(s[end]))
                ++end;
            uint64_t v = std::stoull(s.substr(digits, end - digits), nullptr, 16);
            if (!out.empty() && (out.back() == '-' || out.back() == '+')) {
                // A signed number: its sign belongs to the value.
                if (out.back() == '-')
                    v = 0 - v;
                out.pop_back();
                const int64_t c = canonical(v, is32);
                out += c < 0 ? "-" : "+";
                out += std::to_string(c < 0 ? 0 - uint64_t(c) : uint64_t(c));
            } else {
                out += std::to_string(canonical(v, is32));
            }
            i = end;
            continue;
        }
        out += s[i++];
    }
    replaceAll(out, "+-", "-");
    // A "+" that starts an operand is only the sign of a signed immediate.
    replaceAll(out, ",+", ",");
    replaceAll(out, " +", " ");
    return out;
}

// Index of the first operand character (after prefixes and mnemonic), or npos.
size_t operandStart(const std::string& s)
{
    static const char* const kPrefixes[] = {"lock", "rep", "repz", "repnz", "bnd", "notrack", "data16", "addr32",
                                            "addr16", "cs", "ds", "es", "ss", "fs", "gs", "xacquire", "xrelease"};
    size_t at = 0;
    while (at < s.size()) {
        const size_t sp = s.find(' ', at);
        const std::string word = s.substr(at, sp == std::string::npos ? std::string::npos : sp - at);
        bool prefix = word.rfind("rex", 0) == 0;
        for (const char* p : kPrefixes)
            prefix = prefix || word == p;
        if (!prefix)
            return sp == std::string::npos ? sp : sp + 1;
        if (sp == std::string::npos)
            return sp;
        at = sp + 1;
    }
    return std::string::npos;
}

std::string mnemonicOf(const std::string& s)
{
    const size_t start = operandStart(s);
    const std::string head = start == std::string::npos ? s : s.substr(0, start - 1);
    const size_t sp = head.rfind(' ');
    return sp == std::string::npos ? head : head.substr(sp + 1);
}

bool isRelativeBranch(const std::string& mnemonic)
{
    return (!mnemonic.empty() && mnemonic[0] == 'j') || mnemonic == "call" || mnemonic.rfind("loop", 0) == 0 ||
           mnemonic == "xbegin";
}

void commonForms(std::string& s)
{
    replaceAll(s, "st(0)", "st");
    replaceAll(s, "ds:[", "[");
    replaceAll(s, "*1]", "]");
    replaceAll(s, "*1+", "+");
    replaceAll(s, "*1-", "-");
}

} // namespace

std::vector<TObjdumpInstruction> ObjdumpListing(const std::string& file, bool is32, uint64_t start, uint64_t stop)
{
    std::string command = "objdump -d -z -w -j .text -M ";
    command += is32 ? "intel,i386" : "intel";
    if (stop > start) {
        char range[80];
        std::snprintf(range, sizeof range, " --start-address=0x%llx --stop-address=0x%llx",
                      static_cast<unsigned long long>(start), static_cast<unsigned long long>(stop));
        command += range;
    }
    command += " " + quoted(file) + " 2>/dev/null";
    std::vector<TObjdumpInstruction> listing;
    std::unique_ptr<std::FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    if (!pipe)
        return listing;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe.get())) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        // "  1234:\t48 8b 05 ...\tmov    rax,..." (with -w on one line)
        size_t i = 0;
        while (i < line.size() && line[i] == ' ')
            ++i;
        size_t colon = i;
        while (colon < line.size() && isHex(line[colon]))
            ++colon;
        if (colon == i || colon + 1 >= line.size() || line[colon] != ':' || line[colon + 1] != '\t')
            continue;
        TObjdumpInstruction ins;
        ins.Address = std::stoull(line.substr(i, colon - i), nullptr, 16);
        size_t p = colon + 2;
        while (p + 1 < line.size() && isHex(line[p]) && isHex(line[p + 1]) && (p + 2 == line.size() || line[p + 2] == ' ')) {
            ins.Bytes.push_back(uint8_t(std::stoul(line.substr(p, 2), nullptr, 16)));
            p += 3;
        }
        const size_t tab = line.find('\t', colon + 2);
        if (tab != std::string::npos)
            ins.Text = line.substr(tab + 1);
        if (ins.Text.empty() && !listing.empty() && listing.back().Address + listing.back().Bytes.size() == ins.Address) {
            // A continuation line of a long instruction.
            listing.back().Bytes.insert(listing.back().Bytes.end(), ins.Bytes.begin(), ins.Bytes.end());
            continue;
        }
        if (!ins.Bytes.empty())
            listing.push_back(std::move(ins));
    }
    return listing;
}

std::string NormalisedObjdump(const std::string& text, bool is32)
{
    std::string s = text;
    const size_t comment = s.find('#');
    if (comment != std::string::npos)
        s.erase(comment);
    const size_t symbol = s.find('<');
    if (symbol != std::string::npos)
        s.erase(symbol);
    s = collapsed(s);
    if (s.size() >= 5 && s.compare(s.size() - 5, 5, "(bad)") == 0)
        return "(bad)"; // with the names of the prefixes before it
    // "fs:0x28", "ds:0x1234": an absolute address without brackets.
    for (size_t at = s.find(":0x"); at != std::string::npos; at = s.find(":0x", at + 1)) {
        if (at < 2 || s[at - 1] != 's' || std::string("cdefgs").find(s[at - 2]) == std::string::npos)
            continue;
        size_t end = at + 3;
        while (end < s.size() && isHex(s[end]))
            ++end;
        s.insert(end, "]");
        s.insert(at + 1, "[");
    }
    commonForms(s);
    // A relative target written as a bare hexadecimal address.
    const std::string mnemonic = mnemonicOf(s);
    const size_t start = operandStart(s);
    if (isRelativeBranch(mnemonic) && start != std::string::npos) {
        const std::string operand = s.substr(start);
        bool bare = !operand.empty();
        for (char c : operand)
            bare = bare && isHex(c);
        if (bare)
            s = s.substr(0, start) + "0x" + operand;
    }
    return numbersCanonical(s, is32);
}

std::string NormalisedOurs(const std::string& text, uint64_t address, int32_t size, bool is32)
{
    if (text.rfind("DB ", 0) == 0 || text == "???")
        return "(bad)";
    std::string s = collapsed(text);
    commonForms(s);
    // A relative target is written as its displacement: make it the address.
    const std::string mnemonic = mnemonicOf(s);
    const size_t start = operandStart(s);
    if (isRelativeBranch(mnemonic) && start != std::string::npos && start + 2 < s.size() &&
        (s[start] == '+' || s[start] == '-') && s[start + 1] == '$') {
        const std::string digits = s.substr(start + 2);
        bool hex = !digits.empty();
        for (char c : digits)
            hex = hex && isHex(c);
        if (hex) {
            int64_t disp = int64_t(std::stoull(digits, nullptr, 16));
            if (s[start] == '-')
                disp = -disp;
            uint64_t target = address + uint64_t(size) + uint64_t(disp);
            if (is32)
                target &= 0xFFFFFFFFu;
            char buf[32];
            std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(target));
            s = s.substr(0, start) + buf;
        }
    }
    return numbersCanonical(s, is32);
}

void TComparison::Add(const TComparison& other)
{
    Instructions += other.Instructions;
    Agreed += other.Agreed;
    BoundaryErrors.insert(BoundaryErrors.end(), other.BoundaryErrors.begin(), other.BoundaryErrors.end());
    for (const auto& [kind, n] : other.Known)
        Known[kind] += n;
    Unexplained.insert(Unexplained.end(), other.Unexplained.begin(), other.Unexplained.end());
}

TComparison CompareWithObjdump(const std::vector<TObjdumpInstruction>& listing, const std::vector<uint8_t>& code,
                               uint64_t codeAddress, bool is32)
{
    TComparison result;
    cv::TDisAsm disasm(is32 ? cv::TDisAsmMode::x86_32 : cv::TDisAsmMode::x86_64);
    std::string ours;
    for (const TObjdumpInstruction& ins : listing) {
        if (ins.Address < codeAddress || ins.Address - codeAddress >= code.size())
            continue;
        ++result.Instructions;
        const size_t offset = size_t(ins.Address - codeAddress);
        const int32_t size = disasm.GetInstruction(std::span<const uint8_t>(code).subspan(offset), ins.Address, ours);
        char where[32];
        std::snprintf(where, sizeof where, "%llx: ", static_cast<unsigned long long>(ins.Address));
        if (size_t(size) != ins.Bytes.size()) {
            result.BoundaryErrors.push_back(std::string(where) + ours + " | " + ins.Text + " (" + std::to_string(size) +
                                            " bytes, objdump " + std::to_string(ins.Bytes.size()) + ")");
            continue;
        }
        const std::string a = NormalisedOurs(ours, ins.Address, size, is32);
        const std::string b = NormalisedObjdump(ins.Text, is32);
        if (a == b) {
            ++result.Agreed;
            continue;
        }
        const TKnownDifference* kind = nullptr;
        for (const TKnownDifference& k : KnownDifferences())
            if (k.Matches(a, b)) {
                kind = &k;
                break;
            }
        if (kind)
            ++result.Known[kind->Name];
        else
            result.Unexplained.push_back(std::string(where) + a + " | " + b);
    }
    return result;
}

const std::vector<TKnownDifference>& KnownDifferences()
{
    static const std::vector<TKnownDifference> kinds = {
        {"string instruction", "the listing writes the size suffix (movsb, stosq), objdump the implied operands",
         [](const std::string& ours, const std::string& theirs) {
             const std::string m = mnemonicOf(theirs);
             static const char* const kString[] = {"movs", "cmps", "stos", "lods", "scas", "ins", "outs", "xlat"};
             for (const char* k : kString)
                 if (m == k)
                     return ours.rfind(theirs.substr(0, theirs.find(m)) + k, 0) == 0;
             return false;
         }},
        {"wait before an x87 instruction", "objdump takes a wait (9B) before an x87 instruction into it without a word, the listing writes fwait",
         [](const std::string& ours, const std::string& theirs) { return ours == "fwait " + theirs; }},
        {"control and debug register", "the listing names them C0 and D7 as the crash report always did, objdump cr0 and dr7",
         [](const std::string& ours, const std::string& theirs) {
             std::string t = theirs;
             for (const char* r : {"cr", "dr"})
                 for (size_t at = t.find(r); at != std::string::npos; at = t.find(r, at + 1))
                     if (at + 2 < t.size() && std::isdigit(static_cast<unsigned char>(t[at + 2])) &&
                         (at == 0 || t[at - 1] == ' ' || t[at - 1] == ','))
                         t.replace(at, 2, r[0] == 'c' ? "c" : "d");
             return t == ours;
         }},
        {"redundant SIB byte", "a SIB byte without index register: objdump names the missing index riz (eiz)",
         [](const std::string& ours, const std::string& theirs) {
             std::string t = theirs;
             for (const char* z : {"riz", "eiz"})
                 for (size_t at = t.find(z); at != std::string::npos; at = t.find(z)) {
                     size_t end = at + 3;
                     if (end + 1 < t.size() && t[end] == '*')
                         end += 2;
                     if (at > 0 && t[at - 1] == '+')
                         --at;
                     else if (end < t.size() && t[end] == '+')
                         ++end;
                     t.erase(at, end - at);
                 }
             return t == ours;
         }},
    };
    return kinds;
}

} // namespace cvtest
