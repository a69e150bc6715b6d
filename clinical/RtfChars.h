#pragma once

namespace qv::rtf {

// The characters RTF's words are made of: a control word's letters (ASCII only), its
// parameter's digits, and the hexadecimal digits of \'hh and of a picture's data.
constexpr bool isLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
constexpr bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
// The value of a hexadecimal digit; -1 for any other character.
constexpr int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace qv::rtf
