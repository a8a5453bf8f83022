#include "TraceLines.h"

#include <regex>
#include <sstream>

#include "WinePath.h"

#include <stdlib.h>

namespace tb {

namespace {

// Text of a line without its line end, for messages.
std::string Shown(const std::string &line) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace

std::string NotifyLine(const std::string &context, const std::string &message) {
    return "[Avenor][Notify] " + context + " -> " + message + " \r\n";
}

std::string ErrorLineHead(const std::string &context, const std::string &message) {
    return "[Avenor] " + context + " -> " + message + ", error: ";
}

std::string SystemText(DWORD code) {
    LPWSTR text = nullptr;
    DWORD cch = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                               reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string ansi;
    if (cch != 0 && text != nullptr)
        ansi = ToAnsi(std::wstring(text, cch));
    if (text != nullptr)
        LocalFree(text);
    return ansi;
}

bool IsErrorLine(const std::string &line, const std::string &context, const std::string &message,
                 DWORD *code) {
    const std::string head = ErrorLineHead(context, message);
    if (line.compare(0, head.size(), head) != 0)
        return false;
    size_t digits = head.size();
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    if (digits == head.size() || digits - head.size() > 10)
        return false;
    unsigned long long value = strtoull(line.c_str() + head.size(), nullptr, 10);
    if (value > 0xFFFFFFFFull)
        return false;
    if (line.compare(digits, std::string::npos, " - " + SystemText(static_cast<DWORD>(value))) != 0)
        return false;
    if (code != nullptr)
        *code = static_cast<DWORD>(value);
    return true;
}

std::string RegexEscape(const std::string &text) {
    static const std::string kOperators = "\\^$.|?*+()[]{}";
    std::string out;
    for (char c : text) {
        if (kOperators.find(c) != std::string::npos)
            out += '\\';
        out += c;
    }
    return out;
}

ExpectedLine Note(const std::string &context, const std::string &message) {
    const std::string line = NotifyLine(context, message);
    return ExpectedLine{Shown(line), [line](const std::string &got) { return got == line; }};
}

ExpectedLine NoteLike(const std::string &context, const std::string &messagePattern) {
    const std::regex pattern(RegexEscape("[Avenor][Notify] " + context + " -> ") + "(" +
                             messagePattern + ")" + RegexEscape(" \r\n"));
    return ExpectedLine{
        "[Avenor][Notify] " + context + " -> /" + messagePattern + "/",
        [pattern](const std::string &got) { return std::regex_match(got, pattern); }};
}

ExpectedLine ErrorLike(const std::string &context, const std::string &messagePattern, DWORD code) {
    const std::regex pattern(RegexEscape("[Avenor] " + context + " -> ") + "(" + messagePattern +
                             "), error: " + std::to_string(code) + " - [\\s\\S]*");
    return ExpectedLine{
        "[Avenor] " + context + " -> /" + messagePattern + "/, error: " + std::to_string(code) +
            " - <text>",
        [pattern](const std::string &got) { return std::regex_match(got, pattern); }};
}

ExpectedLine Error(const std::string &context, const std::string &message, DWORD code) {
    return ExpectedLine{ErrorLineHead(context, message) +
                            (code == kAnyCode ? "<code>" : std::to_string(code)) + " - <text>",
                        [context, message, code](const std::string &got) {
                            DWORD seen = 0;
                            return IsErrorLine(got, context, message, &seen) &&
                                   (code == kAnyCode || seen == code);
                        }};
}

std::vector<ExpectedLine> CopyHead(const std::string &langId) {
    return {NoteLike("Avenor", "v1\\.0\\.0001 \\(.+\\)"),
            Note("InitInstance - GetUserDefaultUILanguage (g_tszLangID)", langId)};
}

ExpectedLine CopyExit() {
    return Note("ExitInstance", "I am called!");
}

std::vector<ExpectedLine> operator+(std::vector<ExpectedLine> a,
                                    const std::vector<ExpectedLine> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<ExpectedLine> operator+(std::vector<ExpectedLine> a, const ExpectedLine &b) {
    a.push_back(b);
    return a;
}

std::string Dump(const std::vector<std::string> &lines) {
    std::ostringstream out;
    for (size_t i = 0; i < lines.size(); ++i)
        out << "  [" << i << "] " << Shown(lines[i]) << "\n";
    return out.str();
}

size_t CountLines(const std::vector<std::string> &lines, const std::string &text) {
    size_t n = 0;
    for (const std::string &line : lines)
        n += line == text ? 1 : 0;
    return n;
}

::testing::AssertionResult MatchesAt(const std::vector<std::string> &lines, size_t from,
                                     const std::vector<ExpectedLine> &wanted) {
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (from + i >= lines.size())
            return ::testing::AssertionFailure() << "trace ends before line " << from + i
                                                 << ", expected " << wanted[i].what << "\ntrace:\n"
                                                 << Dump(lines);
        if (!wanted[i].matches(lines[from + i]))
            return ::testing::AssertionFailure()
                   << "line " << from + i << " is " << Shown(lines[from + i]) << "\nexpected "
                   << wanted[i].what << "\ntrace:\n"
                   << Dump(lines);
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult MatchesExactly(const std::vector<std::string> &lines,
                                          const std::vector<ExpectedLine> &wanted) {
    ::testing::AssertionResult prefix = MatchesAt(lines, 0, wanted);
    if (!prefix)
        return prefix;
    if (lines.size() != wanted.size())
        return ::testing::AssertionFailure()
               << lines.size() - wanted.size() << " more lines than expected\ntrace:\n"
               << Dump(lines);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult InterleavesAt(const std::vector<std::string> &lines, size_t from,
                                         const std::vector<ExpectedLine> &a,
                                         const std::vector<ExpectedLine> &b) {
    const size_t na = a.size();
    const size_t nb = b.size();
    if (from + na + nb > lines.size())
        return ::testing::AssertionFailure()
               << "trace ends before the " << na + nb << " lines of two threads from line " << from
               << "\ntrace:\n"
               << Dump(lines);
    // can[i][j]: the first i lines of a and j of b make up the first i+j lines.
    std::vector<std::vector<bool>> can(na + 1, std::vector<bool>(nb + 1, false));
    can[0][0] = true;
    for (size_t i = 0; i <= na; ++i) {
        for (size_t j = 0; j <= nb; ++j) {
            if (i == 0 && j == 0)
                continue;
            const std::string &line = lines[from + i + j - 1];
            can[i][j] = (i > 0 && can[i - 1][j] && a[i - 1].matches(line)) ||
                        (j > 0 && can[i][j - 1] && b[j - 1].matches(line));
        }
    }
    if (can[na][nb])
        return ::testing::AssertionSuccess();
    std::ostringstream want;
    want << "lines " << from << " to " << from + na + nb - 1
         << " are not the two threads' lines merged\nfirst thread:\n";
    for (const ExpectedLine &s : a)
        want << "  " << s.what << "\n";
    want << "second thread:\n";
    for (const ExpectedLine &s : b)
        want << "  " << s.what << "\n";
    return ::testing::AssertionFailure() << want.str() << "trace:\n" << Dump(lines);
}

} // namespace tb
