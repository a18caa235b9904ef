// The BMP and PNM decoders come from stb_image; this unit holds their code.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_ONLY_BMP
#define STBI_ONLY_PNM
#define STBI_MAX_DIMENSIONS 16384
#include <stb_image.h>
