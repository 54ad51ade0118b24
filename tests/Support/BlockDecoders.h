#pragma once
// Minimal decoders of the first pixel of a 16-byte block, enough to read back
// a solid colour in the block modes the encoder picks for one; any other mode
// fails the test. BC7 is only told apart by its mode: the colour read back in
// the other targets already shows the right bytes are taken.

#include <algorithm>
#include <array>
#include <cstdint>

#include <gtest/gtest.h>

namespace ZandelleEngine { namespace Testing {

using Colour = std::array<int, 4>;

inline int expand(int value, int bits) { return (value << (8 - bits)) | (value >> (2*bits - 8)); }

inline Colour decodeBc3(const std::uint8_t* b) {
    const int a0 = b[0], a1 = b[1], ai = b[2] & 7;
    int alpha = ai == 0 ? a0 : ai == 1 ? a1 : a0 > a1 ? ((8 - ai)*a0 + (ai - 1)*a1)/7 :
        ai == 6 ? 0 : ai == 7 ? 255 : ((6 - ai)*a0 + (ai - 1)*a1)/5;
    const int c0 = b[8] | b[9] << 8, c1 = b[10] | b[11] << 8, ci = b[12] & 3;
    Colour out{0, 0, 0, alpha};
    const int shifts[3]{11, 5, 0}, bits[3]{5, 6, 5};
    for(int c = 0; c != 3; ++c) {
        const int e0 = expand((c0 >> shifts[c]) & ((1 << bits[c]) - 1), bits[c]);
        const int e1 = expand((c1 >> shifts[c]) & ((1 << bits[c]) - 1), bits[c]);
        out[c] = ci == 0 ? e0 : ci == 1 ? e1 : ci == 2 ? (2*e0 + e1)/3 : (e0 + 2*e1)/3;
    }
    return out;
}

inline Colour decodeEtc2(const std::uint8_t* b) {
    static constexpr int Tables[8][2]{{2, 8}, {5, 17}, {9, 29}, {13, 42}, {18, 60}, {24, 80}, {33, 106}, {47, 183}};
    const std::uint8_t* c = b + 8;
    Colour out{0, 0, 0, b[0]};   /* the alpha block's base value */
    if(!(c[3] & 2)) ADD_FAILURE() << "individual block";
    int base[3];
    for(int i = 0; i != 3; ++i) {
        const int value = c[i] >> 3, delta = (c[i] & 7) > 3 ? (c[i] & 7) - 8 : c[i] & 7;
        if(value + delta < 0 || value + delta > 31) ADD_FAILURE() << "T, H or planar block";
        base[i] = expand(value, 5);
    }
    /* Pixel (0, 0): its index bits are the lowest of the last two 16-bit words */
    const int msb = c[5] & 1, lsb = c[7] & 1;
    const int* table = Tables[c[3] >> 5];
    const int modifier = (msb ? -1 : 1)*table[lsb];
    for(int i = 0; i != 3; ++i) out[i] = std::clamp(base[i] + modifier, 0, 255);
    return out;
}

inline Colour decodeAstc(const std::uint8_t* b) {
    if(b[0] != 0xfc || (b[1] & 1) != 1) { ADD_FAILURE() << "not a void-extent block"; return {}; }
    Colour out;
    for(int i = 0; i != 4; ++i) out[i] = b[8 + 2*i + 1];
    return out;
}

}}
