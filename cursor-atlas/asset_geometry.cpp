#include "cursor-atlas/asset_geometry.h"

#include <algorithm>
#include <cmath>

namespace kelvane::cursoratlas {

CanvasPlan planCanvas(const platform::CursorImage& cursor, int pixelWidth, int pixelHeight,
                      const CursorAssetSettings& settings) {
    const double pw = std::max(pixelWidth, 1);
    const double ph = pixelHeight > 0 ? pixelHeight : 1;
    CanvasPlan plan;
    plan.sourceScale = std::max(pw / std::max(cursor.pointWidth, 1.0), ph / std::max(cursor.pointHeight, 1.0));
    plan.renderScale = std::max(settings.minimumCursorRenderScale, settings.referencePixelHeight / std::max(ph, 1.0));
    plan.width = std::max(1.0, std::ceil(pw * plan.renderScale));
    plan.height = std::max(1.0, std::ceil(ph * plan.renderScale));
    return plan;
}

OutputPlan planOutput(const platform::CursorImage& cursor, const CanvasPlan& canvas, const PixelRect& bounds,
                      const CursorAssetSettings& settings) {
    const double bw = bounds.width;
    const double bh = bounds.height;
    const double k = settings.referencePixelHeight / bh;
    OutputPlan plan;
    plan.height = std::trunc(settings.referencePixelHeight);
    plan.width = std::max(1.0, std::ceil(bw / bh * settings.referencePixelHeight));
    plan.hotspotX = k * (canvas.renderScale * (cursor.hotspotX * canvas.sourceScale) - bounds.x);
    plan.hotspotY = k * (canvas.renderScale * (cursor.hotspotY * canvas.sourceScale) - bounds.y);
    return plan;
}

}  // namespace kelvane::cursoratlas
