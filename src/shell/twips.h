#pragma once

#include <QRect>

namespace quillmere {

// Positions and sizes are designed in twips: 15 twips are one pixel at 96 dpi, scaled by the
// screen's logical dpi.
inline QRect TwipsToPixels(int left, int top, int width, int height, qreal logicalDpi) {
    const qreal pixelsPerTwip = logicalDpi / 96.0 / 15.0;
    auto px = [&](int twips) { return qRound(twips * pixelsPerTwip); };
    return QRect(px(left), px(top), px(width), px(height));
}

}  // namespace quillmere
