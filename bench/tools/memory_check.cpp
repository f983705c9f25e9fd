// Reads a one-sub-image bundle into memory, then times what imgtool verify must compute over
// it: the image CRC from byte 4 and the SHA-256 of the payload. Prints the seconds taken.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "crypto/sha256.hpp"
#include "image/crc.hpp"
#include "image/header.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: imgtool_memory_check BUNDLE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (bytes.size() < image::header_probe_size) {
        std::fprintf(stderr, "imgtool_memory_check: %s is too short\n", argv[1]);
        return 1;
    }
    const auto header = image::parse_image_header(std::span(bytes).first<24>());
    const auto start = std::chrono::steady_clock::now();
    const bool crc_good = image::image_crc(std::span(bytes).subspan(4, header.total() - 4),
                                           image::crc_initial) == header.crc;
    std::uint8_t digest[SHA256_RESULT_SIZE];
    SHA256_completeDigest(bytes.data() + header.header_length, header.payload_length, digest);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", took.count());
    return crc_good ? 0 : 1;
}
