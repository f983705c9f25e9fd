// The input is a slot file or bundle. Walks it the way the boot scan and the installer do and
// checks that nothing stands still, reads outside the file, or trusts an impossible header.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/bundle.hpp"
#include "image/crc.hpp"
#include "image/header.hpp"
#include "image/records.hpp"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

class memory_file {
public:
    memory_file(const std::uint8_t* data, std::size_t size)
        : fd_(::memfd_create("bundle", MFD_CLOEXEC)) {
        require(fd_ >= 0);
        require(size == 0 || ::write(fd_, data, size) == static_cast<ssize_t>(size));
    }
    memory_file(const memory_file&) = delete;
    memory_file& operator=(const memory_file&) = delete;
    ~memory_file() { ::close(fd_); }
    int fd() const { return fd_; }

private:
    int fd_;
};

// Every accepted header describes bytes that exist, in order, each sub-image at least 4 long.
void check_extent(const image::subimage_ref& sub, std::uint64_t size) {
    const auto& h = sub.header;
    require(h.total() >= 4);
    require(h.header_length <= h.total());
    require(sub.offset + h.total() <= size);
    if (h.header_version == 3) {
        require(h.header_length >= image::v3_records_offset);
    }
}

void inspect_records(std::span<const std::uint8_t> header) {
    image::record_walk walk(header);
    std::size_t seen = 0;
    while (const auto record = walk.next()) {
        require(record->body.data() >= header.data() + 4);
        require(record->body.data() + record->body.size() <= header.data() + header.size());
        ++seen;
    }
    require(seen <= header.size() / 4);  // every record moves the walk on by at least 4
    (void)image::find_alternative_type(header);
    const image::header_signature found = image::find_signature(header);
    if (found.what == image::header_signature::kind::signed_image) {
        require(found.signature.data() >= header.data() + 4);
        require(found.signature.data() + found.signature.size() <= header.data() + header.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    memory_file file(data, size);
    image::bundle_walk walk(file.fd());
    image::subimage_ref sub{};
    std::uint64_t previous_end = 0;
    std::size_t steps = 0;
    std::vector<std::uint8_t> bytes;
    while (walk.next(sub) == image::walk_step::subimage) {
        require(++steps <= size / 4 + 1);
        require(sub.offset == previous_end);
        if (sub.fault != image::header_fault::none) {
            require(!image::read_subimage(file.fd(), sub, bytes));
            continue;
        }
        check_extent(sub, size);
        previous_end = sub.offset + sub.header.total();
        require(image::read_subimage(file.fd(), sub, bytes));
        require(bytes.size() == sub.header.total());
        (void)image::image_crc_mismatch(std::span(bytes).subspan(4), sub.header.crc);
        if (sub.header.header_version == 3) {
            inspect_records(std::span(bytes).first(sub.header.header_length));
        }
    }
    return 0;
}
