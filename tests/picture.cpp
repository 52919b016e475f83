#include <gtest/gtest.h>

#include "picture.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>

Picture grab(const Program& p) {
    Display* display = testDisplay();
    Picture pic;
    XWindowAttributes a;
    XImage* image = nullptr;
    if (!display || !XGetWindowAttributes(display, std::stoul(p.window), &a) ||
        !(image = XGetImage(display, std::stoul(p.window), 0, 0, a.width, a.height, AllPlanes, ZPixmap)))
        return pic;
    pic.width = a.width;
    pic.height = a.height;
    Window child;
    XTranslateCoordinates(display, std::stoul(p.window), a.root, 0, 0, &pic.left, &pic.top, &child);
    const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const unsigned long v = ((XGetPixel(image, x, y) & masks[c]) >> __builtin_ctzl(masks[c])) & 255;
                pic.rgb.push_back(static_cast<unsigned char>(v));
                if (v != 0)
                    ++pic.lit[c], pic.cx[c] += x;
            }
    for (int c = 0; c < 3; ++c)
        pic.cx[c] /= std::max(pic.lit[c], 1L);
    XDestroyImage(image);
    return pic;
}

bool keepsDrawing(const Program& p) {
    const std::vector<unsigned char> first = grab(p).rgb;
    return !first.empty() && waitFor([&] { const auto now = grab(p).rgb; return !now.empty() && now != first; });
}

bool centred(const Picture& p) {
    return std::min(p.lit[0], p.lit[2]) > 1000 && std::abs((p.cx[0] + p.cx[2]) / 2 - p.width / 2.0) < 60;
}

// Which eye owns the channel c of pixel (x, y), counted from the top left
// of the picture: 0 left, 1 right, -1 none. Rows, columns and squares are
// the screen's, counted from its top left.
static int owner(const ModeStatement& m, const Picture& pic, int x, int y, int c) {
    const std::string where = m.where;
    int eye = 0;
    if (where.find("halves") != std::string::npos)
        eye = (x >= pic.width / 2) != (where == "crossed halves");
    else if (where.find("top bottom") != std::string::npos)
        eye = y >= pic.height / 2;
    else if (where == "rows" || where == "columns" || where == "squares")
        eye = (where == "rows" ? pic.top + y : where == "columns" ? pic.left + x : pic.left + x + pic.top + y) & 1;
    else  // the anaglyphs: each channel its eye's, if any
        return std::string(m.left).find("rgb"[c]) != std::string::npos    ? 0
               : std::string(m.right).find("rgb"[c]) != std::string::npos ? 1
                                                                          : -1;
    return std::string(eye ? m.right : m.left).empty() ? -1 : eye;
}

// What a picture of stereo mode m shows, against the manual: each eye's
// image in the pixels and channels it owns, nothing lit anywhere else, and
// the left viewpoint's image right of the right one's by the disparity of
// the field's centre: half a unit each way at 15 units, in proportion to the
// height of the picture, or to half of it where it is squeezed to half its
// width or has half the height. (Spheres in front of the centre part more,
// those behind less.) Returns that ratio, or 0 for one eye alone.
double expectEyes(const Picture& pic, const ModeStatement& m, bool swapped, int samples, double disparity) {
    const std::string where = m.where;
    const bool halves = where.find("halves") != std::string::npos;
    long stray = 0, lit[2] = {}, low = 0;
    double sum[2] = {};
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int v = pic.at(x, y, c), eye = owner(m, pic, x, y, c);
                if (v && eye < 0)
                    ++stray;
                if (!v || eye < 0)
                    continue;
                ++lit[eye];
                low += v < 10;  // below the ambient light alone: only where a pixel is partly covered
                sum[eye] += x - (halves && x >= pic.width / 2 ? pic.width / 2 : 0);
            }
    EXPECT_EQ(stray, 0) << "lit where no eye may draw";
    const bool oneEye = !*m.left || !*m.right;
    EXPECT_GT(std::max(lit[0], lit[1]), 1000);
    EXPECT_EQ(std::min(lit[0], lit[1]) > 1000, !oneEye) << "a frame without one eye's image";
    EXPECT_EQ(low > 100, samples > 0) << low << " pixel channels of intermediate level: anti-aliased edges";
    if (oneEye)
        return 0;
    const double height = where == "top bottom" || where == "squeezed halves" ? pic.height / 2.0 : pic.height;
    const double expected = height / 2 / std::tan(25 * M_PI / 180) / 15;
    const double ratio = (sum[0] / lit[0] - sum[1] / lit[1]) / expected * (swapped ? -1 : 1);
    // Converged on the centre, the nearer spheres, drawn larger, still pull
    // the images' centres apart a little.
    EXPECT_TRUE(disparity > 0 ? ratio / disparity > 0.7 && ratio / disparity < 1.5 : std::abs(ratio) < 0.4)
        << "disparity " << ratio << " times the " << expected << " px expected of parallel eyes one unit apart";
    return ratio;
}
