// SPDX-License-Identifier: MIT
#include "LogCharacters.h"

#include <algorithm>

namespace paddock {

namespace {

bool isContinuation(unsigned char byte)
{
    return (byte & 0xc0) == 0x80;
}

// Bytes in the sequence a lead byte begins; 0 for a byte that cannot begin one (C0, C1
// and F5..FF would only begin overlong or out-of-range encodings).
int sequenceLength(unsigned char lead)
{
    if (lead >= 0xc2 && lead <= 0xdf)
        return 2;
    if (lead >= 0xe0 && lead <= 0xef)
        return 3;
    if (lead >= 0xf0 && lead <= 0xf4)
        return 4;
    return 0;
}

} // namespace

LogCharacters::Character LogCharacters::decode(std::string_view bytes, size_t at)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data()) + at;
    const unsigned char lead = data[0];
    const int length = sequenceLength(lead);
    if (length == 0 || size_t(length) > bytes.size() - at)
        return {lead, 1};
    char32_t code = lead & (0x7f >> length);
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(data[i]))
            return {lead, 1};
        code = (code << 6) | (data[i] & 0x3f);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not characters.
    static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff)
        return {lead, 1};
    return {code, length};
}

LogCharacters::Character LogCharacters::decodeAt(const LogText &text, qsizetype position,
                                                 qsizetype limit)
{
    const LogPiece piece = text.pieceAt(position);
    const auto available = size_t(std::min<qsizetype>(4, limit - position));
    if (piece.size() >= available)
        return decode(piece.bytes().substr(0, available), 0);
    const std::string bytes = text.bytes(position, qsizetype(available));
    return decode(bytes, 0);
}

bool LogCharacters::isBoundary(const LogText &text, qsizetype position, qsizetype limit)
{
    for (qsizetype back = 1; back <= 3 && position - back >= 0; ++back) {
        const auto byte = (unsigned char)text.at(position - back);
        if (!isContinuation(byte))
            return decodeAt(text, position - back, limit).length <= back;
    }
    return true;
}

qsizetype LogCharacters::boundaryAtOrBefore(const LogText &text, qsizetype position,
                                            qsizetype limit)
{
    // A sequence's lead byte is a boundary, so this stops within three steps.
    for (; position > 0; --position)
        if (isBoundary(text, position, limit))
            return position;
    return 0;
}

qsizetype LogCharacters::rowCut(const LogText &text, qsizetype cut)
{
    for (qsizetype back = 1; back <= 3 && cut - back >= 0; ++back) {
        const auto byte = (unsigned char)text.at(cut - back);
        if (!isContinuation(byte))
            return sequenceLength(byte) > back ? cut - back : cut;
    }
    return cut;
}

void LogCharacters::append(QString &text, char32_t code)
{
    if (code < 0x10000) {
        text.append(QChar(char16_t(code)));
    } else {
        text.append(QChar(QChar::highSurrogate(code)));
        text.append(QChar(QChar::lowSurrogate(code)));
    }
}

QString LogCharacters::toQString(std::string_view bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (size_t at = 0; at < bytes.size();) {
        const auto byte = (unsigned char)bytes[at];
        if (byte < 0x80) {
            text.append(QChar(char16_t(byte)));
            ++at;
            continue;
        }
        const Character character = decode(bytes, at);
        append(text, character.code);
        at += size_t(character.length);
    }
    return text;
}

} // namespace paddock
