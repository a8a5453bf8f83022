// Matching a copy's trace line by line against the lines expected of it,
// including the lines of two threads that may interleave.
#ifndef TB_TRACE_LINES_H
#define TB_TRACE_LINES_H

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace tb {

// The launcher's two trace line forms.
// "[Avenor][Notify] <context> -> <message> \r\n"
std::string NotifyLine(const std::string &context, const std::string &message);
// "[Avenor] <context> -> <message>, error: " - what an error line starts with.
std::string ErrorLineHead(const std::string &context, const std::string &message);
// The system's message text for `code` in US English, in the ANSI code page
// (what an error line ends with); empty when the system has none.
std::string SystemText(DWORD code);
// Whether `line` is an error line for (context, message) whose code and text
// agree: "<head><code> - <system text of code>". The code goes to *code.
bool IsErrorLine(const std::string &line, const std::string &context, const std::string &message,
                 DWORD *code = nullptr);

// One expected trace line.
struct ExpectedLine {
    std::string what; // shown when the line does not match
    std::function<bool(const std::string &)> matches;
};

// A notification line with exactly this context and message.
ExpectedLine Note(const std::string &context, const std::string &message);
// A notification line whose message matches `messagePattern` (ECMAScript).
ExpectedLine NoteLike(const std::string &context, const std::string &messagePattern);
const DWORD kAnyCode = ~0u;
// An error line for (context, message) whose code and system text agree; with
// `code`, it must be that code.
ExpectedLine Error(const std::string &context, const std::string &message, DWORD code = kAnyCode);
// An error line whose message matches `messagePattern`, with the code `code`
// and any text.
ExpectedLine ErrorLike(const std::string &context, const std::string &messagePattern, DWORD code);
// `text` with every regular-expression operator escaped.
std::string RegexEscape(const std::string &text);

// The two lines every traced copy starts with: version and the user's UI
// language (US English unless given).
std::vector<ExpectedLine> CopyHead(const std::string &langId = "0x0409");
// The last line of every traced copy.
ExpectedLine CopyExit();

// Concatenation, for building expected sequences.
std::vector<ExpectedLine> operator+(std::vector<ExpectedLine> a,
                                    const std::vector<ExpectedLine> &b);
std::vector<ExpectedLine> operator+(std::vector<ExpectedLine> a, const ExpectedLine &b);

// `lines` from `from` on start with `wanted`, in order.
::testing::AssertionResult MatchesAt(const std::vector<std::string> &lines, size_t from,
                                     const std::vector<ExpectedLine> &wanted);
// `lines` are exactly `wanted`, in order.
::testing::AssertionResult MatchesExactly(const std::vector<std::string> &lines,
                                          const std::vector<ExpectedLine> &wanted);
// The |a|+|b| lines from `from` on are `a` and `b` merged in some order that
// keeps each one's own order: the lines of two threads running at once.
::testing::AssertionResult InterleavesAt(const std::vector<std::string> &lines, size_t from,
                                         const std::vector<ExpectedLine> &a,
                                         const std::vector<ExpectedLine> &b);

// A trace, one line per line, for failure messages.
std::string Dump(const std::vector<std::string> &lines);
// How many lines equal `text`.
size_t CountLines(const std::vector<std::string> &lines, const std::string &text);

} // namespace tb

#endif
