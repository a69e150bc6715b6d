// Code pages of RTF text: the document's \ansicpg, a font's \fcharset or \cpg, and the
// symbol fonts, whose bytes stand for pictures and Greek letters rather than for letters.
#include "clinical/Rtf.h"

#include <QStringDecoder>
#include <memory>
#include <unordered_map>

namespace qv::rtf {

namespace {

// 0x80..0x9F of code page 1252; 0 where the code page leaves the byte undefined.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The Symbol font, 0x20..0xFF; 0 where nothing stands for the byte.
constexpr char16_t kSymbol[224] = {
    // 0x20
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B, 0x002C,
    0x2212, 0x002E, 0x002F,
    // 0x30
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B, 0x003C,
    0x003D, 0x003E, 0x003F,
    // 0x40
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B,
    0x039C, 0x039D, 0x039F,
    // 0x50
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B, 0x2234,
    0x005D, 0x22A5, 0x005F,
    // 0x60
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3, 0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB,
    0x03BC, 0x03BD, 0x03BF,
    // 0x70
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C,
    0x007D, 0x223C, 0,
    // 0x80, 0x90: nothing
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xA0
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190,
    0x2191, 0x2192, 0x2193,
    // 0xB0
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248, 0x2026,
    0x23D0, 0x23AF, 0x21B5,
    // 0xC0
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282,
    0x2286, 0x2208, 0x2209,
    // 0xD0
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0,
    0x21D1, 0x21D2, 0x21D3,
    // 0xE0
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xF0
    0, 0x232A, 0x222B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Wingdings: the bullets lists use; any other picture shows as a bullet.
char16_t wingdings(uchar byte) {
    switch (byte) {
    case 0x4A:
        return 0x263A;
    case 0x6C:
        return 0x25CF;
    case 0x6E:
        return 0x25A0;
    case 0x71:
        return 0x2751;
    case 0x75:
        return 0x25C6;
    case 0x76:
        return 0x2756;
    case 0xA7:
        return 0x25AA;
    case 0xA8:
        return 0x25FB;
    case 0xD8:
        return 0x27A2;
    case 0xE8:
        return 0x2794;
    case 0xFB:
        return 0x2717;
    case 0xFC:
        return 0x2713;
    default:
        return byte < 0x20 ? 0 : 0x2022;
    }
}

QString decode1252(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<uchar>(c);
        if (b >= 0x80 && b < 0xA0) {
            if (const char16_t u = kCp1252High[b - 0x80])
                out.append(QChar(u));
        } else {
            out.append(QChar(b));
        }
    }
    return out;
}

QString decodeSymbol(const QByteArray& bytes, bool isWingdings) {
    QString out;
    for (const char c : bytes) {
        const auto b = static_cast<uchar>(c);
        const char16_t u = isWingdings ? wingdings(b) : (b >= 0x20 ? kSymbol[b - 0x20] : 0);
        if (u)
            out.append(QChar(u));
    }
    return out;
}

// The converter's name for a Windows code page.
QByteArray converterName(int codePage) {
    switch (codePage) {
    case 932:
        return "windows-31j";
    case 10000:
        return "macintosh";
    case 20866:
        return "koi8-r";
    case 28591:
        return "ISO-8859-1";
    case 65001:
        return "UTF-8";
    default:
        break;
    }
    if ((codePage >= 1250 && codePage <= 1258) || codePage == 874 || codePage == 936 || codePage == 949 ||
        codePage == 950)
        return "windows-" + QByteArray::number(codePage);
    if (codePage >= 28592 && codePage <= 28606)
        return "ISO-8859-" + QByteArray::number(codePage - 28590);
    return "ibm-" + QByteArray::number(codePage);
}

QStringDecoder* decoderFor(int codePage) {
    // One converter per code page for the life of the program: opening one is costly.
    static std::unordered_map<int, std::unique_ptr<QStringDecoder>> decoders;
    auto it = decoders.find(codePage);
    if (it == decoders.end()) {
        auto decoder = std::make_unique<QStringDecoder>(converterName(codePage).constData());
        if (!decoder->isValid())
            decoder.reset();
        it = decoders.emplace(codePage, std::move(decoder)).first;
    }
    return it->second.get();
}

} // namespace

int codePageOfCharset(int charset) {
    switch (charset) {
    case 2:
        return kSymbolCodePage;
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0; // ANSI, default and the rest: the document's code page
    }
}

QString decode(const QByteArray& bytes, int codePage) {
    if (bytes.isEmpty())
        return QString();
    if (codePage == kSymbolCodePage || codePage == kWingdingsCodePage)
        return decodeSymbol(bytes, codePage == kWingdingsCodePage);
    if (codePage == 1252 || codePage <= 0)
        return decode1252(bytes);
    QStringDecoder* decoder = decoderFor(codePage);
    if (decoder == nullptr)
        return decode1252(bytes);
    QString out = decoder->decode(bytes);
    decoder->resetState();
    return out;
}

} // namespace qv::rtf
