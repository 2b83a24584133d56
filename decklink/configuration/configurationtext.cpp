#include "configurationtext.h"

#include <climits>
#include <cstdio>
#include <vector>

namespace cardconfig {

namespace {

// OpenCV reads a line into a buffer of at most 1 MiB, and quoted text of at
// most 4096 characters.
constexpr size_t maximumLineBytes = 512 * 1024;
constexpr size_t maximumQuotedCharacters = 4096;

struct Refusal
{
    int line;
    std::string reason;
    bool syntax = false; // the text is no YAML or JSON the parser reads
};

std::string tooDeep()
{
    return "nested deeper than " + std::to_string(maximumNesting) +
           " levels; a configuration needs no more than 4";
}
const char* const afterEnd = "text after the end of the configuration; remove it";

// As OpenCV's parsers class characters: every byte from the space up is printable.
bool isPrintable(char c)
{
    return static_cast<unsigned char>(c) >= ' ';
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool isAlnum(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A whole number as OpenCV's parsers read it (decimal, or hexadecimal with
// 0x) that does not fit in their 32-bit integers, which would wrap it.
bool wrapsAsInteger(const std::string& token)
{
    size_t at = token.empty() || (token[0] != '-' && token[0] != '+') ? 0 : 1;
    const bool negative = at == 1 && token[0] == '-';
    int base = 10;
    if (token.size() > at + 2 && token[at] == '0' && (token[at + 1] == 'x' || token[at + 1] == 'X'))
        base = 16, at += 2;
    if (at == token.size())
        return false;
    unsigned long long value = 0;
    for (; at < token.size(); ++at) {
        const char c = token[at];
        int digit;
        if (isDigit(c))
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false; // not a whole number
        if (value > (1ull << 32))
            continue; // too large already; read on to tell whether it is a number
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
    return negative ? value > static_cast<unsigned long long>(INT_MAX) + 1 : value > INT_MAX;
}

Refusal wrapped(int line, const std::string& token)
{
    return Refusal{line, "the whole number " + token + " does not fit in 32 bits (" +
                             std::to_string(INT_MIN) + " to " + std::to_string(INT_MAX) + ")"};
}

// Plain text in lines the parser's buffer holds: no control character but a
// tab, and a carriage return only where a line ends.
void checkLines(const std::string& text, int line)
{
    const size_t n = text.size();
    size_t begin = 0;
    for (size_t i = 0; i <= n; ++i) {
        if (i == n || text[i] == '\n') {
            if (i - begin > maximumLineBytes)
                throw Refusal{line, "longer than " + std::to_string(maximumLineBytes / 1024) + " KiB"};
            ++line;
            begin = i + 1;
            continue;
        }
        const char c = text[i];
        if (!isPrintable(c) && c != '\t' && !(c == '\r' && (i + 1 == n || text[i + 1] == '\n'))) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
            throw Refusal{line, std::string("a control character (byte ") + code +
                                    "); a configuration is plain text"};
        }
    }
}

// JSON: the depth of brackets outside quoted text, whole numbers, and
// nothing after the bracket that closes the configuration.
void checkJson(const std::string& text, int line)
{
    std::vector<char> flows;
    bool ended = false;
    bool tokenStart = true;  // a quote here opens quoted text
    bool scalarStart = true; // a word here is a whole value
    for (size_t i = 0, n = text.size(); i < n;) {
        const char c = text[i];
        if (ended && !isSpace(c))
            throw Refusal{line, afterEnd};
        if (c == '\n') {
            ++line;
            tokenStart = scalarStart = true;
            ++i;
        } else if (tokenStart && c == '"') {
            // Quoted text ends at its quote or, as the parser wants it, at the line's end.
            for (++i; i < n && text[i] != '\n' && text[i] != '"'; ++i)
                if (text[i] == '\\' && i + 1 < n && text[i + 1] != '\n')
                    ++i;
            if (i < n && text[i] == '"')
                ++i;
            tokenStart = scalarStart = false;
        } else if (c == '[' || c == '{') {
            flows.push_back(c);
            if (static_cast<int>(flows.size()) > maximumNesting)
                throw Refusal{line, tooDeep()};
            tokenStart = scalarStart = true;
            ++i;
        } else if (c == ']' || c == '}' || c == ',' || c == ':') {
            if ((c == ']' || c == '}') && !flows.empty()) {
                flows.pop_back();
                ended = flows.empty();
            }
            tokenStart = scalarStart = true;
            ++i;
        } else if (isSpace(c)) {
            tokenStart = true;
            ++i;
        } else {
            size_t at = i;
            while (at < n && !isSpace(text[at]) && text[at] != ',' && text[at] != ':' && text[at] != '[' &&
                   text[at] != ']' && text[at] != '{' && text[at] != '}')
                ++at;
            const std::string token = text.substr(i, at - i);
            if (scalarStart && wrapsAsInteger(token))
                throw wrapped(line, token);
            i = at;
            tokenStart = scalarStart = false;
        }
    }
}

// YAML: walks the text as OpenCV's YAML parser does, without building
// anything, and refuses what that parser would mishandle: nesting deeper than
// the limit, whole numbers beyond 32 bits, an empty key (it reads before the
// line), and anything after the document's end (it loses its place there and
// may never return). Where the parser would throw, the walk refuses too; the
// one place it reads further than the parser, a number cut short, the parser
// throws at once. So the parser only reads text whose whole walk succeeded.
class YamlWalk
{
public:
    YamlWalk(const std::string& text, int line) : m_text(text), m_line(line) {}

    void check()
    {
        // Directives, and the marker that may open the document.
        for (;;) {
            skipSpaces(0);
            if (m_end)
                return; // nothing but comments
            const char c = current();
            if (c == '%') {
                if (m_text.compare(m_pos, 5, "%YAML") == 0 && m_text.compare(m_pos, 8, "%YAML:1.") != 0 &&
                    m_text.compare(m_pos, 8, "%YAML 1.") != 0)
                    syntax("unsupported YAML version (it must be 1.x)");
                m_pos = lineEnd();
                continue;
            }
            if (c == '-') {
                if (m_text.compare(m_pos, 3, "---") == 0)
                    m_pos += 3;
                break;
            }
            if (isAlnum(c) || c == '_')
                break;
            syntax("a configuration starts with a key or a list item");
        }
        skipSpaces(0);
        if (m_end)
            return;
        const int rootColumn = column();
        if (!atDots() && !value(0, false, 1))
            syntax("a configuration is a map or a list");
        skipSpaces(0);
        if (atDots() && !m_end) {
            m_pos += 3;
            skipSpaces(0);
        }
        if (!m_end)
            refuse(column() < rootColumn ? "indented less than the configuration's first line" : afterEnd);
    }

private:
    const std::string& m_text;
    size_t m_pos = 0;
    size_t m_lineBegin = 0;
    int m_line;
    // Past the last line. The parser then reads "..." at the start of a line.
    bool m_end = false;

    [[noreturn]] void refuse(const std::string& reason) const { throw Refusal{m_line, reason}; }
    [[noreturn]] void syntax(const std::string& reason) const { throw Refusal{m_line, reason, true}; }

    char at(size_t p) const { return p < m_text.size() ? m_text[p] : '\0'; }
    char current() const { return m_end ? '.' : at(m_pos); }
    int column() const { return m_end ? 0 : static_cast<int>(m_pos - m_lineBegin); }
    bool atDots() const { return m_end || m_text.compare(m_pos, 3, "...") == 0; }
    size_t lineEnd() const
    {
        const size_t end = m_text.find('\n', m_pos);
        return end == std::string::npos ? m_text.size() : end;
    }

    void nextLine()
    {
        const size_t end = lineEnd();
        if (end + 1 >= m_text.size()) {
            m_end = true;
            return;
        }
        m_pos = m_lineBegin = end + 1;
        ++m_line;
    }

    // Spaces, comments and line ends; the next character must then be
    // indented by at least minIndent.
    void skipSpaces(int minIndent)
    {
        if (m_end) {
            if (minIndent > 0)
                syntax("incorrect indentation");
            return;
        }
        while (!m_end) {
            while (at(m_pos) == ' ')
                ++m_pos;
            const char c = at(m_pos);
            if (c == '#') {
                m_pos = lineEnd();
            } else if (isPrintable(c)) {
                if (column() < minIndent)
                    syntax("incorrect indentation");
                return;
            } else if (c == '\0' || c == '\n' || c == '\r') {
                nextLine();
            } else {
                syntax(c == '\t' ? "a tab; indent with spaces" : "invalid character");
            }
        }
    }

    // A key up to its ":".
    void key()
    {
        if (current() == '-')
            syntax("a key may not start with \"-\"");
        size_t end = m_pos;
        while (!m_end && isPrintable(at(end)) && at(end) != ':')
            ++end;
        if (m_end || at(end) != ':')
            syntax("\":\" missing after a key");
        if (end == m_pos)
            refuse("a key is missing before \":\"");
        m_pos = end + 1;
    }

    // One value; true when it is a map or a list.
    bool value(int minIndent, bool inFlow, int depth)
    {
        if (depth > maximumNesting)
            refuse(tooDeep());
        if (m_end)
            return false; // the parser reads the "..." it put there as text
        const char c = current();
        const char d = at(m_pos + 1);
        if (c == '!')
            refuse("type tags (\"!\") are not read; quote text that starts with \"!\"");
        if (isDigit(c) || ((c == '-' || c == '+') && (isDigit(d) || d == '.')) || (c == '.' && isAlnum(d))) {
            number();
            return false;
        }
        if (c == '\'' || c == '"') {
            quoted(c);
            return false;
        }
        if (c == '[' || c == '{') {
            flow(c, minIndent + (inFlow ? 0 : 1), depth);
            return true;
        }
        if (inFlow || c != '-') {
            if (!inFlow && c == '?')
                syntax("complex keys are not read");
            if (!inFlow && (c == '|' || c == '>'))
                syntax("text over several lines is not read");
            size_t end = m_pos;
            while (isPrintable(at(end)) &&
                   (inFlow ? at(end) != ',' && at(end) != '}' && at(end) != ']' : at(end) != ':'))
                ++end;
            if (end == m_pos)
                syntax("invalid character");
            if (inFlow || at(end) != ':') {
                m_pos = end;
                return false;
            }
        }
        block(c == '-' && !inFlow, depth);
        return true;
    }

    // The parser reads a number as far as strtol or strtod take it; should
    // that stop short of the word, the parser throws on the rest of it.
    void number()
    {
        const bool sign = current() == '-' || current() == '+';
        size_t end = m_pos;
        while (isAlnum(at(end)) || at(end) == '.' || at(end) == '+' || at(end) == '-' || at(end) == '_')
            ++end;
        size_t digits = m_pos + (sign ? 1 : 0);
        while (isDigit(at(digits)))
            ++digits;
        const std::string token = m_text.substr(m_pos, end - m_pos);
        if (at(digits) != '.' && at(digits) != 'e' && wrapsAsInteger(token))
            throw wrapped(m_line, token);
        m_pos = end;
    }

    void quoted(char quote)
    {
        size_t i = m_pos;
        for (size_t length = 0;; ++length) {
            if (length >= maximumQuotedCharacters)
                syntax("quoted text longer than " + std::to_string(maximumQuotedCharacters) + " characters");
            const char c = at(++i);
            if (c == quote && (quote == '"' || at(i + 1) != '\'')) {
                m_pos = i + 1;
                return;
            }
            if (c == '\'' && quote == '\'') {
                ++i; // '' stands for one quote
            } else if (c == '\\' && quote == '"') {
                const char escaped = at(++i);
                if (escaped == 'x' || (isDigit(escaped) && escaped < '8'))
                    refuse("escapes by number (\\x, \\0 to \\7) are not read; write the character itself");
                if (!isPrintable(escaped))
                    syntax("quoted text ends where its line ends; close the quote");
            } else if (!isPrintable(c)) {
                syntax("quoted text ends where its line ends; close the quote");
            }
        }
    }

    // A map or list in brackets. The parser leaves the "]" after a list's
    // last "," for the collection around it to read.
    void flow(char open, int minIndent, int depth)
    {
        const bool map = open == '{';
        const char close = map ? '}' : ']';
        const int openLine = m_line;
        const auto skip = [&] {
            skipSpaces(minIndent);
            if (m_end)
                throw Refusal{openLine, std::string("the \"") + open + "\" is never closed", true};
        };
        ++m_pos;
        for (int elements = 0;; ++elements) {
            skip();
            const char c = current();
            if (c == '}' || c == ']') {
                if (c != close)
                    syntax("the wrong closing bracket");
                ++m_pos;
                return;
            }
            if (elements != 0) {
                if (c != ',')
                    syntax("\",\" missing between the elements");
                ++m_pos;
                skip();
            }
            if (map) {
                key();
                skip();
            } else if (current() == ']') {
                return;
            }
            value(minIndent, true, depth + 1);
        }
    }

    // A map or list by indentation, from its first key or "-".
    void block(bool list, int depth)
    {
        const int indent = column();
        for (;;) {
            if (!list)
                key();
            else if (at(m_pos++) != '-')
                syntax("a list item starts with \"-\"");
            skipSpaces(indent + 1);
            value(indent + 1, false, depth + 1);
            skipSpaces(0);
            if (column() != indent) {
                if (column() < indent)
                    return;
                syntax("incorrect indentation");
            }
            if (atDots())
                return;
        }
    }
};

} // namespace

bool checkConfigurationText(const std::string& text, bool json, int addedLines, ConfigurationError& error)
{
    const int firstLine = 1 - addedLines;
    try {
        checkLines(text, firstLine);
        if (json)
            checkJson(text, firstLine);
        else
            YamlWalk(text, firstLine).check();
    } catch (const Refusal& refusal) {
        error = ConfigurationError{"", std::string(refusal.syntax ? "not valid YAML or JSON: " : "") +
                                           "line " + std::to_string(refusal.line) + ": " + refusal.reason};
        return false;
    }
    return true;
}

} // namespace cardconfig
