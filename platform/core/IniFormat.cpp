// SPDX-License-Identifier: MIT
#include "IniFormat.h"

#include <QChar>

#include <optional>

namespace paddock {

namespace {

const std::string_view byteArrayPrefix = "@ByteArray(";
const std::string_view stringPrefix = "@String(";

int hexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

bool isSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\f' || ch == '\v';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

void appendUtf8(std::string &out, char32_t code)
{
    out += QString(QChar(char16_t(code))).toStdString();
}

// How an escaped character (\xHHHH, \ooo) becomes bytes: as UTF-8 in text, as one byte
// (Latin-1) inside a byte array.
enum class Escapes { utf8, latin1 };

void appendEscaped(std::string &out, char32_t code, Escapes escapes)
{
    if (escapes == Escapes::latin1)
        out += code <= 0xff ? char(code) : '?';
    else
        appendUtf8(out, code);
}

// Undoes QSettings' value escaping: quotes, backslash escapes, unquoted spaces at the ends.
// Returns false for a list (an unquoted comma), which is no single value.
bool unescapeValue(std::string_view in, Escapes escapes, std::string &out)
{
    static const std::string_view simple = "abfnrtv\"?'\\";
    static const std::string_view simpleValue = "\a\b\f\n\r\t\v\"?'\\";
    bool inQuotes = false;
    bool quoted = false;
    size_t chopLimit = 0; // trailing spaces before this are kept: they were escaped or quoted
    size_t i = 0;
    const auto skipSpaces = [&] {
        while (i < in.size() && (in[i] == ' ' || in[i] == '\t'))
            ++i;
    };
    skipSpaces();
    while (i < in.size()) {
        const char ch = in[i];
        if (ch == '\\') {
            if (++i >= in.size())
                break;
            const char next = in[i++];
            if (const size_t at = simple.find(next); at != std::string_view::npos) {
                out += simpleValue[at];
            } else if (next == 'x') {
                char32_t code = 0;
                bool any = false;
                for (int digit; i < in.size() && (digit = hexValue(in[i])) >= 0; ++i, any = true)
                    code = (code << 4) | char32_t(digit);
                if (any)
                    appendEscaped(out, code & 0xffff, escapes);
            } else if (next >= '0' && next <= '7') {
                char32_t code = char32_t(next - '0');
                for (; i < in.size() && in[i] >= '0' && in[i] <= '7'; ++i)
                    code = (code << 3) | char32_t(in[i] - '0');
                appendEscaped(out, code & 0xffff, escapes);
            } else if (next == '\n' || next == '\r') {
                if (i < in.size() && (in[i] == '\n' || in[i] == '\r') && in[i] != next)
                    ++i;
            }
            chopLimit = out.size();
        } else if (ch == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipSpaces();
            chopLimit = out.size();
        } else if (ch == ',' && !inQuotes) {
            return false;
        } else {
            out += ch;
            ++i;
        }
    }
    if (!quoted)
        while (out.size() > chopLimit && (out.back() == ' ' || out.back() == '\t'))
            out.pop_back();
    return true;
}

std::optional<SettingsValue> parseValue(std::string_view raw)
{
    std::string text;
    if (!unescapeValue(raw, Escapes::utf8, text))
        return std::nullopt;
    const auto wraps = [&text](std::string_view prefix) {
        return text.size() > prefix.size() && text.starts_with(prefix) && text.back() == ')';
    };
    if (wraps(byteArrayPrefix)) {
        std::string bytes;
        unescapeValue(raw, Escapes::latin1, bytes);
        return SettingsValue{
            bytes.substr(byteArrayPrefix.size(), bytes.size() - byteArrayPrefix.size() - 1), true};
    }
    if (wraps(stringPrefix))
        return SettingsValue{
            text.substr(stringPrefix.size(), text.size() - stringPrefix.size() - 1), false};
    if (text.starts_with("@@"))
        return SettingsValue{text.substr(1), false};
    if (text.starts_with('@'))
        return std::nullopt; // a variant, or @Invalid(): nothing Paddock stores
    return SettingsValue{text, false};
}

QString unescapeKey(std::string_view raw)
{
    QString key;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char ch = raw[i];
        if (ch == '\\') {
            key += u'/';
        } else if (ch == '%' && i + 5 < raw.size() && raw[i + 1] == 'U' &&
                   hexValue(raw[i + 2]) >= 0 && hexValue(raw[i + 3]) >= 0 &&
                   hexValue(raw[i + 4]) >= 0 && hexValue(raw[i + 5]) >= 0) {
            int code = 0;
            for (size_t d = i + 2; d < i + 6; ++d)
                code = code * 16 + hexValue(raw[d]);
            key += QChar(char16_t(code));
            i += 5;
        } else if (ch == '%' && i + 2 < raw.size() && hexValue(raw[i + 1]) >= 0 &&
                   hexValue(raw[i + 2]) >= 0) {
            key += QChar(char16_t(hexValue(raw[i + 1]) * 16 + hexValue(raw[i + 2])));
            i += 2;
        } else {
            key += QChar(char16_t(static_cast<unsigned char>(ch))); // as QSettings: Latin-1
        }
    }
    return key;
}

void escapeKey(const QString &key, std::string &out)
{
    static const char hex[] = "0123456789ABCDEF";
    for (const QChar qch : key) {
        const char16_t ch = qch.unicode();
        if (ch == u'/') {
            out += '\\';
        } else if ((ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') ||
                   (ch >= u'0' && ch <= u'9') || ch == u'_' || ch == u'-' || ch == u'.') {
            out += char(ch);
        } else if (ch <= 0xff) {
            out += '%';
            out += hex[ch / 16];
            out += hex[ch % 16];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hex[(ch >> shift) & 0xf];
        }
    }
}

std::string hexNumber(unsigned char ch)
{
    static const char hex[] = "0123456789abcdef";
    std::string digits;
    if (ch >= 16)
        digits += hex[ch / 16];
    digits += hex[ch % 16];
    return digits;
}

// QSettings' escaping, byte for byte: text keeps its UTF-8 as it is; a byte array escapes
// every byte from 0x7f up. After a \x escape a following hex digit is escaped too, so it
// cannot be read as part of the number.
void escapeValue(std::string_view value, bool binary, std::string &out)
{
    const size_t start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    for (const char ch : value) {
        const auto byte = static_cast<unsigned char>(ch);
        if (ch == ';' || ch == ',' || ch == '=')
            needsQuotes = true;
        if (escapeNextIfDigit && hexValue(ch) >= 0) {
            out += "\\x" + hexNumber(byte);
            continue;
        }
        escapeNextIfDigit = false;
        switch (ch) {
        case '\0':
            out += "\\0";
            escapeNextIfDigit = true;
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\v':
            out += "\\v";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += ch;
            break;
        default:
            if (byte <= 0x1f || (byte >= 0x7f && binary)) {
                out += "\\x" + hexNumber(byte);
                escapeNextIfDigit = true;
            } else {
                out += ch;
            }
        }
    }
    if (needsQuotes || (out.size() > start && (out[start] == ' ' || out.back() == ' '))) {
        out.insert(start, 1, '"');
        out += '"';
    }
}

// False for a line that is no key and value.
bool parseLine(std::string_view line, const QString &section, SettingsValues &values)
{
    size_t equals = std::string_view::npos;
    bool inQuotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '"')
            inQuotes = !inQuotes;
        else if (line[i] == '=' && !inQuotes) {
            equals = i;
            break;
        }
    }
    if (equals == std::string_view::npos)
        return false;
    const QString name = unescapeKey(trimmed(line.substr(0, equals)));
    if (name.isEmpty())
        return false;
    if (std::optional<SettingsValue> value = parseValue(line.substr(equals + 1)))
        values[section.isEmpty() ? name : section + u'/' + name] = std::move(*value);
    return true;
}

} // namespace

SettingsValues parseIni(std::string_view data, bool *wellFormed)
{
    bool formed = data.find('\0') == std::string_view::npos;
    SettingsValues values;
    QString section;
    size_t pos = 0;
    while (pos < data.size()) {
        while (pos < data.size() && isSpace(data[pos]))
            ++pos;
        if (pos >= data.size())
            break;
        if (data[pos] == ';') { // a comment, to the end of the line
            while (pos < data.size() && data[pos] != '\n' && data[pos] != '\r')
                ++pos;
            continue;
        }
        // A line ends at a line break outside quotes, or at a comment; a backslash carries
        // it over a line break.
        const size_t start = pos;
        bool inQuotes = false;
        for (; pos < data.size(); ++pos) {
            const char ch = data[pos];
            if (ch == '\\') {
                if (pos + 1 < data.size()) {
                    ++pos;
                    if (pos + 1 < data.size() && ((data[pos] == '\n' && data[pos + 1] == '\r') ||
                                                  (data[pos] == '\r' && data[pos + 1] == '\n')))
                        ++pos;
                }
            } else if (ch == '"') {
                inQuotes = !inQuotes;
            } else if (!inQuotes && (ch == '\n' || ch == '\r' || ch == ';')) {
                break;
            }
        }
        const std::string_view line = data.substr(start, pos - start);
        if (line.front() == '[') {
            const size_t close = line.find(']');
            formed = formed && close != std::string_view::npos;
            const QString name = close == std::string_view::npos
                                     ? QString()
                                     : unescapeKey(trimmed(line.substr(1, close - 1)));
            section = name.compare(u"General", Qt::CaseInsensitive) == 0 ? QString()
                      : name == u"%General"                              ? QStringLiteral("General")
                                                                         : name;
            continue;
        }
        formed = parseLine(line, section, values) && formed;
    }
    if (wellFormed)
        *wellFormed = formed;
    return values;
}

std::string formatIni(const SettingsValues &values)
{
    // Keys are grouped by section, the part of the key before its first slash.
    std::map<QString, std::string> sections;
    for (const auto &[key, value] : values) {
        const qsizetype slash = key.indexOf(u'/');
        const QString section = slash < 0 ? QString() : key.left(slash);
        std::string &out = sections[section];
        escapeKey(slash < 0 ? key : key.mid(slash + 1), out);
        out += '=';
        if (value.binary) {
            std::string wrapped(byteArrayPrefix);
            wrapped += value.bytes;
            wrapped += ')';
            escapeValue(wrapped, true, out);
        } else {
            escapeValue(value.bytes.starts_with('@') ? '@' + value.bytes : value.bytes, false, out);
        }
        out += '\n';
    }
    std::string text;
    for (const auto &[section, lines] : sections) {
        if (!text.empty())
            text += '\n';
        text += '[';
        if (section.isEmpty())
            text += "General";
        else if (section == u"General")
            text += "%General";
        else
            escapeKey(section, text);
        text += "]\n";
        text += lines;
    }
    return text;
}

} // namespace paddock
