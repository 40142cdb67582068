// The files of the whole-run benchmark, and the run's file work alone.
//   series_files make DIR W H   writes DIR/base.pgm and DIR/photo.pgm (fixed seed)
//   series_files io DIR         reads and writes what a run with those two images
//                               does: two reads, three writes, no resampling
#include "image/image.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void writeNoise(std::string const& path, int w, int h, std::uint64_t state)
{
    IMAGE im(w, h);
    for (long long i = 0; i < static_cast<long long>(w) * h; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        im.pix[i] = static_cast<unsigned char>(state >> 56);
    }
    im.writeIMAGE(path.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    std::string const mode = argc > 2 ? argv[1] : "";
    if (mode == "make" && argc == 5) {
        std::string const dir = argv[2];
        int const w = std::atoi(argv[3]);
        int const h = std::atoi(argv[4]);
        writeNoise(dir + "/base.pgm", w, h, 0x9E3779B97F4A7C15ULL);
        writeNoise(dir + "/photo.pgm", w, h, 0xD1B54A32D192ED03ULL);
        return 0;
    }
    if (mode == "io" && argc == 3) {
        std::string const dir = argv[2];
        IMAGE base((dir + "/base.pgm").c_str());
        base.writeIMAGE((dir + "/Redressement/base.pgm").c_str());
        IMAGE further((dir + "/photo.pgm").c_str());
        std::string const out = dir + "/Redressement/photo.pgm";
        further.writeIMAGE(out.c_str());
        IMAGE rectified(base.width, base.height);
        rectified.writeIMAGE(out.c_str());
        return 0;
    }
    std::fprintf(stderr, "usage: series_files make DIR W H | series_files io DIR\n");
    return 2;
}
