#pragma once

#include <span>
#include <string>

#include "velmo/image/picture.h"

// The decoder behind loadPicture: FFmpeg's own decoders (libavcodec) in the native build, stb in the
// Windows build (vdfhost, which cannot link FFmpeg). The caller has already checked the signature,
// the size the header states and a BMP's length; the decoder fills `picture` with 0x00RRGGBB pixels
// (8-bit RGB exactly as stored) or gives the cause in `error`, without the file's name.
enum class PictureFormat { Png, Bmp, Jpeg };

bool decodePicturePixels(std::span<const unsigned char> bytes, PictureFormat format, Picture& picture,
                         std::string& error);
