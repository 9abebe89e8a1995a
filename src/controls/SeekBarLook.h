#pragma once

#include <QColor>

// The seek bar's colours, shared with the other views of the recording's
// timeline. The bar and its highlight are shaded row by row from the top,
// one flat colour per row.
namespace SeekBarLook {

inline constexpr QRgb BarRows[] = {0xB4B4B4, 0xD8D8D8, 0xE5E5E5, 0xEBEBEB, 0xE9E9E9, 0xE2E2E2,
                                   0xDADADA, 0xD2D2D2, 0xCFCFCF, 0xCFCFCF, 0xD4D4D4, 0xDADADA,
                                   0xE1E1E1, 0xE6E6E6, 0xE9E9E9, 0xD6D6D6};
inline constexpr QRgb BarBackground = 0xE0E0E0;
// The current section's green.
inline constexpr QRgb SectionRows[] = {0x6DA53B, 0xA1D176, 0xC0E3A0, 0xCCEBB0, 0xC2E8A1, 0xACDE7F,
                                       0x92D05B, 0x7EC540, 0x74BE33, 0x75BF33, 0x7DC53D, 0x8ACE4E,
                                       0x97D85E, 0xA0DF69, 0xA3E36A, 0x91CF5A};
inline constexpr QRgb SectionBackground = 0xC0C0C0;
// The thumb, from its top to its tip.
inline constexpr QRgb ThumbLight = 0x739FF6;
inline constexpr QRgb ThumbDark = 0x2B45D3;

} // namespace SeekBarLook
