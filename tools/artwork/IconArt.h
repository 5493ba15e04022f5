#pragma once
// Icons 128 (main frame: an orange shopping bag) and 130 (results windows: a blue bag with a
// list on it), each drawn separately at every size it is stored in. Icon 128 is also the
// program's icon in the desktop's icon theme (hicolor), at the theme's usual sizes.
#include <QImage>
#include <vector>

class IconArt {
public:
    static std::vector<int> Sizes() { return {16, 24, 32, 48, 64}; }
    static std::vector<int> ThemeSizes() { return {16, 24, 32, 48, 64, 128, 256}; }
    // Icon `id` (128 or 130) at `size` pixels, ARGB32 with straight alpha; null for another id.
    static QImage Render(int id, int size);
};
