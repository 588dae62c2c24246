#include "velmo/image/picture.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <new>
#include <span>

#include "core/script_line.h"
#include "stb_image_write.h"
#include "velmo/image/file_bytes.h"
#include "velmo/image/input_file.h"
#include "velmo/image/picture_decoder.h"

namespace {

using Bytes = std::span<const unsigned char>;

// A file larger than this holds no picture velmo reads: an uncompressed 32-bit BMP of the largest
// size, plus room for its header.
constexpr std::size_t kLargestPictureFile =
    std::size_t{kLargestPictureSide} * kLargestPictureSide * 4 + (std::size_t{1} << 20);

// The format its signature names; false for any other file.
bool formatOf(Bytes bytes, PictureFormat& format) {
    auto startsWith = [&bytes](std::initializer_list<unsigned char> magic) {
        return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
    };
    if (startsWith({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) return format = PictureFormat::Png, true;
    if (startsWith({'B', 'M'})) return format = PictureFormat::Bmp, true;
    if (startsWith({0xFF, 0xD8, 0xFF})) return format = PictureFormat::Jpeg, true;
    return false;
}

std::uint32_t littleEndian(Bytes bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int k = size - 1; k >= 0; --k)
        value = (value << 8) | bytes[at + static_cast<std::size_t>(k)];
    return value;
}

std::uint32_t bigEndian(Bytes bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int k = 0; k < size; ++k)
        value = (value << 8) | bytes[at + static_cast<std::size_t>(k)];
    return value;
}

// The size a JPEG's frame header gives: the first start-of-frame segment after the markers
// before it.
bool jpegSize(Bytes bytes, std::int64_t& w, std::int64_t& h) {
    std::size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (bytes[at] != 0xFF) return false;
        const unsigned char marker = bytes[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        const bool standalone = marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
        if (standalone) {
            at += 2;
            continue;
        }
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (at + 9 > bytes.size()) return false;
            h = bigEndian(bytes, at + 5, 2);
            w = bigEndian(bytes, at + 7, 2);
            return true;
        }
        at += 2 + bigEndian(bytes, at + 2, 2);
    }
    return false;
}

// The picture's size as its header states it, before any decoder looks at the rest: the decoder
// refuses very large pictures with no more than "corrupt", and a user should hear the limit.
bool statedSize(Bytes bytes, PictureFormat format, std::int64_t& w, std::int64_t& h) {
    switch (format) {
        case PictureFormat::Png:
            if (bytes.size() < 24 || bigEndian(bytes, 12, 4) != 0x49484452) return false;  // "IHDR"
            w = bigEndian(bytes, 16, 4);
            h = bigEndian(bytes, 20, 4);
            return true;
        case PictureFormat::Bmp:
            if (bytes.size() < 26) return false;
            if (littleEndian(bytes, 14, 4) == 12) {
                w = littleEndian(bytes, 18, 2);
                h = littleEndian(bytes, 20, 2);
            } else {
                w = static_cast<std::int32_t>(littleEndian(bytes, 18, 4));
                h = static_cast<std::int32_t>(littleEndian(bytes, 22, 4));
                if (h < 0) h = -h;  // rows stored top-down
            }
            return true;
        case PictureFormat::Jpeg:
            return jpegSize(bytes, w, h);
    }
    return false;
}

// A decoder may fill the rows missing from a cut-off BMP with zeros (stb does; FFmpeg's takes a
// short file for rows without their padding), so a truncated file would pass as a picture with
// black or sheared rows. The header says how many bytes of rows follow the pixel-data offset.
// Only uncompressed rows have a length known in advance; run-length coded ones are the decoder's.
bool bmpPixelDataComplete(Bytes bytes, std::int64_t w, std::int64_t h, std::int64_t& missing) {
    constexpr std::size_t kFileHeader = 14;
    if (bytes.size() < kFileHeader + 20) return true;  // too short for a header: the decoder says so
    const std::int64_t pixelOffset = littleEndian(bytes, 10, 4);
    const std::uint32_t headerSize = littleEndian(bytes, kFileHeader, 4);
    constexpr std::uint32_t kUncompressed = 0, kBitFields = 3, kAlphaBitFields = 6;
    const std::uint32_t compression =
        headerSize == 12 ? kUncompressed : littleEndian(bytes, kFileHeader + 16, 4);
    if (compression != kUncompressed && compression != kBitFields && compression != kAlphaBitFields)
        return true;
    // The oldest header keeps 16-bit sizes and the bit count at 24; the others at 28.
    const std::size_t bitCountAt = headerSize == 12 ? kFileHeader + 10 : kFileHeader + 14;
    const std::int64_t bitsPerPixel = littleEndian(bytes, bitCountAt, 2);
    const std::int64_t rowBytes = (w * bitsPerPixel + 31) / 32 * 4;
    const std::int64_t needed = pixelOffset + rowBytes * h;
    missing = needed - static_cast<std::int64_t>(bytes.size());
    return missing <= 0;
}

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

std::string tooLarge(const std::string& path, std::int64_t w, std::int64_t h) {
    return "cannot read " + path + ": the picture is " + std::to_string(w) + " x " + std::to_string(h) +
           " pixels; velmo reads pictures of at most " + std::to_string(kLargestPictureSide) +
           " pixels per side";
}

std::string noPixels(const std::string& path) {
    return "cannot read " + path + ": the picture has no pixels";
}

}  // namespace

bool decodePicture(const std::string& name, std::span<const unsigned char> bytes, Picture& picture,
                   std::string& error) {
    const std::string path = quotedName(name);
    try {
        PictureFormat format{};
        if (!formatOf(bytes, format)) {
            error = "cannot read " + path + ": not a PNG, BMP or JPEG picture";
            return false;
        }
        std::int64_t statedW = 0, statedH = 0;
        if (statedSize(bytes, format, statedW, statedH)) {
            if (statedW > kLargestPictureSide || statedH > kLargestPictureSide) {
                error = tooLarge(path, statedW, statedH);
                return false;
            }
            if (statedW == 0 || statedH == 0) {
                error = noPixels(path);
                return false;
            }
            std::int64_t missing = 0;
            if (format == PictureFormat::Bmp && !bmpPixelDataComplete(bytes, statedW, statedH, missing)) {
                error = "cannot read " + path + ": the file is cut short, " + std::to_string(missing) +
                        " bytes of pixel rows are missing";
                return false;
            }
        }
        Picture decoded;
        if (!decodePicturePixels(bytes, format, decoded, error)) {
            error = "cannot read " + path + ": " + error;
            return false;
        }
        // The decoder's own reading of the header is the one that counts.
        if (decoded.w > kLargestPictureSide || decoded.h > kLargestPictureSide) {
            error = tooLarge(path, decoded.w, decoded.h);
            return false;
        }
        if (decoded.w <= 0 || decoded.h <= 0) {
            error = noPixels(path);
            return false;
        }
        picture = std::move(decoded);
        return true;
    } catch (const std::bad_alloc&) {
        error = "cannot read " + path + ": not enough memory for the picture";
        return false;
    }
}

bool loadPicture(const std::string& path, Picture& picture, std::string& error) {
    try {
        std::vector<unsigned char> bytes;
        if (!readInputFile(path, kLargestPictureFile, bytes, error)) return false;
        return decodePicture(path, bytes, picture, error);
    } catch (const std::bad_alloc&) {
        error = "cannot read " + quotedName(path) + ": not enough memory for the picture";
        return false;
    }
}

bool checkPictureOutputName(const std::string& path, std::string& error) {
    const std::string extension = lowercaseExtension(path);
    if (extension == ".png" || extension == ".bmp") return true;
    error = "cannot write " + quotedName(path) + ": the name must end in .png or .bmp";
    return false;
}

bool writePicture(OutputFile& file, const Picture& picture, std::string& error) {
    if (!checkPictureOutputName(file.path(), error)) return false;
    const std::string shown = quotedName(file.path());
    if (picture.w <= 0 || picture.h <= 0) {
        error = "cannot write " + shown + ": the picture has no pixels";
        return false;
    }
    if (picture.pixels.size() != static_cast<std::size_t>(picture.w) * static_cast<std::size_t>(picture.h)) {
        error = "cannot write " + shown + ": the picture holds " + std::to_string(picture.pixels.size()) +
                " pixels, not " + std::to_string(picture.w) + " x " + std::to_string(picture.h);
        return false;
    }
    try {
        std::vector<unsigned char> rgb(picture.pixels.size() * 3);
        for (std::size_t k = 0; k < picture.pixels.size(); ++k) {
            rgb[3 * k] = static_cast<unsigned char>(picture.pixels[k] >> 16);
            rgb[3 * k + 1] = static_cast<unsigned char>(picture.pixels[k] >> 8);
            rgb[3 * k + 2] = static_cast<unsigned char>(picture.pixels[k]);
        }
        std::vector<unsigned char> encoded;
        const int ok =
            lowercaseExtension(file.path()) == ".png"
                ? stbi_write_png_to_func(appendBytes, &encoded, picture.w, picture.h, 3, rgb.data(),
                                         picture.w * 3)
                : stbi_write_bmp_to_func(appendBytes, &encoded, picture.w, picture.h, 3, rgb.data());
        if (ok == 0) {
            error = "cannot write " + shown + ": the picture could not be encoded";
            return false;
        }
        return file.write(encoded.data(), encoded.size(), error);
    } catch (const std::bad_alloc&) {
        error = "cannot write " + shown + ": not enough memory to encode the picture";
        return false;
    }
}

bool savePicture(const std::string& path, const Picture& picture, std::string& error) {
    if (!checkPictureOutputName(path, error)) return false;
    OutputFile file;
    return file.open(path, ExistingOutput::Replace, error) && writePicture(file, picture, error) &&
           file.commit(error);
}

FrameBitmap bottomUpView(Picture& picture) {
    return bottomUpView(picture.pixels.data(), picture.w, picture.h);
}
