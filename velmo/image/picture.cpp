#include "velmo/image/picture.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "stb_image.h"
#include "stb_image_write.h"

namespace {

std::string lowercaseExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

void appendBytes(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(context);
    const auto* begin = static_cast<const unsigned char*>(data);
    bytes->insert(bytes->end(), begin, begin + size);
}

bool writeWholeFile(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error) {
    const std::string partial = path + ".part";
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot create " + path;
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    std::error_code renameError;
    if (written && closed) std::filesystem::rename(partial, path, renameError);
    if (!written || !closed || renameError) {
        std::remove(partial.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

bool loadPicture(const std::string& path, Picture& picture, std::string& error) {
    int w = 0, h = 0, channels = 0;
    unsigned char* rgb = stbi_load(path.c_str(), &w, &h, &channels, 3);
    if (rgb == nullptr) {
        error = "cannot read picture " + path + ": " + stbi_failure_reason();
        return false;
    }
    picture.w = w;
    picture.h = h;
    picture.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (std::size_t k = 0; k < picture.pixels.size(); ++k) {
        const unsigned char* p = rgb + 3 * k;
        picture.pixels[k] = (Pixel32{p[0]} << 16) | (Pixel32{p[1]} << 8) | Pixel32{p[2]};
    }
    stbi_image_free(rgb);
    return true;
}

bool savePicture(const std::string& path, const Picture& picture, std::string& error) {
    const std::string extension = lowercaseExtension(path);
    if (extension != ".png" && extension != ".bmp") {
        error = "cannot write " + path + ": the name must end in .png or .bmp";
        return false;
    }
    std::vector<unsigned char> rgb(picture.pixels.size() * 3);
    for (std::size_t k = 0; k < picture.pixels.size(); ++k) {
        rgb[3 * k] = static_cast<unsigned char>(picture.pixels[k] >> 16);
        rgb[3 * k + 1] = static_cast<unsigned char>(picture.pixels[k] >> 8);
        rgb[3 * k + 2] = static_cast<unsigned char>(picture.pixels[k]);
    }
    std::vector<unsigned char> encoded;
    const int ok = extension == ".png"
                       ? stbi_write_png_to_func(appendBytes, &encoded, picture.w, picture.h, 3, rgb.data(),
                                                picture.w * 3)
                       : stbi_write_bmp_to_func(appendBytes, &encoded, picture.w, picture.h, 3, rgb.data());
    if (ok == 0) {
        error = "cannot encode " + path;
        return false;
    }
    return writeWholeFile(path, encoded, error);
}

FrameBitmap bottomUpView(Picture& picture) {
    return bottomUpView(picture.pixels.data(), picture.w, picture.h);
}
