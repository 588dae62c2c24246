#pragma once

#include <cstdint>

// The largest picture or frame side the tools accept. It covers every real frame (8K video is
// 7680 x 4320) while a hostile file of a few bytes cannot ask for more than about 3 GB of memory.
inline constexpr std::int32_t kLargestPictureSide = 16384;
