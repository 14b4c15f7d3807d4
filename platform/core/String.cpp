// SPDX-License-Identifier: MIT
#include "String.h"

#include <QFile>

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace paddock {

std::string lastPathComponent(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    if (path == "/")
        return "/";
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string deletingLastPathComponent(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    if (slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

std::string absolutePath(std::string_view path)
{
    std::string full;
    if (!path.starts_with('/')) {
        std::error_code error;
        full = std::filesystem::current_path(error).native();
    }
    full += '/';
    full += path;
    std::vector<std::string_view> parts;
    for (size_t at = 0; at < full.size();) {
        size_t end = full.find('/', at);
        if (end == std::string::npos)
            end = full.size();
        const std::string_view part = std::string_view(full).substr(at, end - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string clean;
    for (const std::string_view part : parts)
        (clean += '/') += part;
    return clean.empty() ? std::string("/") : clean;
}

std::string folderOf(std::string_view path)
{
    return deletingLastPathComponent(absolutePath(path));
}

QString displayPath(std::string_view bytes)
{
    return QFile::decodeName(QByteArray(bytes.data(), qsizetype(bytes.size())));
}

namespace {

// The code point of the valid UTF-8 sequence at bytes[at] and its length; length 0 when the
// byte there starts none (a stray byte, a sequence cut short, overlong or a surrogate).
std::pair<char32_t, size_t> utf8At(std::string_view bytes, size_t at)
{
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80)
        return {lead, 1};
    size_t length;
    char32_t code, least;
    if ((lead & 0xE0) == 0xC0)
        length = 2, code = lead & 0x1F, least = 0x80;
    else if ((lead & 0xF0) == 0xE0)
        length = 3, code = lead & 0x0F, least = 0x800;
    else if ((lead & 0xF8) == 0xF0)
        length = 4, code = lead & 0x07, least = 0x10000;
    else
        return {0, 0};
    if (bytes.size() - at < length)
        return {0, 0};
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[at + i]);
        if ((next & 0xC0) != 0x80)
            return {0, 0};
        code = code << 6 | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {0, 0};
    return {code, length};
}

// Whether code would be invisible, or would move or reorder the text around it.
bool isUnseen(char32_t code)
{
    switch (QChar::category(code)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

} // namespace

QString visiblePath(std::string_view bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (size_t at = 0; at < bytes.size();) {
        const auto [code, length] = utf8At(bytes, at);
        if (length == 0) {
            text += QStringLiteral("\\x%1").arg(uint(static_cast<unsigned char>(bytes[at])), 2, 16,
                                                QLatin1Char('0'));
            ++at;
            continue;
        }
        at += length;
        if (code == '\\')
            text += QStringLiteral("\\\\");
        else if (code == '\n')
            text += QStringLiteral("\\n");
        else if (code == '\t')
            text += QStringLiteral("\\t");
        else if (code == '\r')
            text += QStringLiteral("\\r");
        else if (code < 0x80 && isUnseen(code)) // the other C0 controls and DEL
            text += QStringLiteral("\\x%1").arg(uint(code), 2, 16, QLatin1Char('0'));
        else if (isUnseen(code))
            text += QStringLiteral("\\u{%1}").arg(uint(code), 4, 16, QLatin1Char('0'));
        else
            text += QString::fromUcs4(&code, 1);
    }
    return text;
}

std::string pathBytes(const QString &text)
{
    return QFile::encodeName(text).toStdString();
}

} // namespace paddock
