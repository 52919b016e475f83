#include "render/image.h"

#include "platform/gl.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

// stb's PNG writer, compiled here alone, into memory: the file is written
// whole or not at all, and a write error is seen.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

Image readBack(DrawBuffer buffer, int width, int height) {
    Image image;
    image.width = width;
    image.height = height;
    const size_t row = static_cast<size_t>(width) * 3;
    std::vector<unsigned char> rows(row * height);
    glReadBuffer(buffer == BACK_LEFT ? GL_BACK_LEFT : buffer == BACK_RIGHT ? GL_BACK_RIGHT : GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    // GL gives the bottom row first.
    image.rgb.resize(rows.size());
    for (int y = 0; y < height; ++y)
        std::memcpy(&image.rgb[y * row], &rows[(height - 1 - y) * row], row);
    return image;
}

int readFrame(StereoMode mode, int width, int height, Image planes[2]) {
    if (!quadBuffered(mode)) {
        planes[0] = readBack(BACK, width, height);
        return 1;
    }
    planes[0] = readBack(BACK_LEFT, width, height);
    planes[1] = readBack(BACK_RIGHT, width, height);
    return 2;
}

static void appendTo(void* bytes, void* data, int size) {
    static_cast<std::string*>(bytes)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

bool writePng(const std::string& path, const Image& image) {
    std::string bytes;
    if (!stbi_write_png_to_func(appendTo, &bytes, image.width, image.height, 3, image.rgb.data(), image.width * 3)) {
        errno = ENOMEM;  // stb could not allocate the compressed picture
        return false;
    }
    return writeFileWhole(path, bytes);
}

bool keepPicture(const std::string& folder, const std::string& name, const Image& image) {
    std::error_code made;  // a folder that cannot be made fails the picture
    std::filesystem::create_directories(folder, made);
    const std::string path = folder + "/" + name;
    if (writePng(path, image))
        return true;
    complain("cannot write '" + path + "': " + std::strerror(made ? made.value() : errno ? errno : EIO));
    return false;
}
