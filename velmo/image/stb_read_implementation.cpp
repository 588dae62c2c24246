// The translation unit that holds stb's picture decoders, for the Windows build only (the native
// build decodes with FFmpeg): only the formats the tools promise (PNG, BMP, JPEG), so the others'
// parsers are not exposed to hostile files.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#include "stb_image.h"
