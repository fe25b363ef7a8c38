// Writes the icon theme's pictures of the program's icon, drawn by the
// program's own icon painter: make_icons DIRECTORY SIZE... gives
// DIRECTORY/SIZExSIZE/apps/bitlorn.png for each size.
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include "stb_image_write.h"
#pragma GCC diagnostic pop

#include "render/app_icon.h"

enum : int { largest_icon = 1024 };

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: make_icons DIRECTORY SIZE...\n");
        return 2;
    }
    for (int i = 2; i < argc; i++) {
        int size = atoi(argv[i]);
        if (size <= 0 || size > largest_icon) {
            fprintf(stderr, "make_icons: bad size %s\n", argv[i]);
            return 2;
        }
        std::vector<color> pixels((size_t)size * (size_t)size);
        pixel_buffer buffer = {size, size, pixels.data()};
        draw_app_icon(&buffer);
        // PNG wants R, G, B, A in memory; the buffer holds 0xAARRGGBB words.
        std::vector<unsigned char> rgba(pixels.size() * 4);
        for (size_t p = 0; p < pixels.size(); p++) {
            rgba[p * 4 + 0] = (unsigned char)(pixels[p] >> 16);
            rgba[p * 4 + 1] = (unsigned char)(pixels[p] >> 8);
            rgba[p * 4 + 2] = (unsigned char)pixels[p];
            rgba[p * 4 + 3] = (unsigned char)(pixels[p] >> 24);
        }
        std::string directory = std::string(argv[1]) + "/" + argv[i] + "x" + argv[i];
        std::string apps = directory + "/apps";
        mkdir(argv[1], 0755);
        mkdir(directory.c_str(), 0755);
        mkdir(apps.c_str(), 0755);
        std::string path = apps + "/bitlorn.png";
        if (!stbi_write_png(path.c_str(), size, size, 4, rgba.data(), size * 4)) {
            fprintf(stderr, "make_icons: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
