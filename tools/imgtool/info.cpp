// imgtool info: one row per sub-image of a bundle, as a table or as JSON.
#include <cstdio>
#include <string>
#include <vector>

#include "files.hpp"
#include "image/crc.hpp"
#include "image/records.hpp"
#include "names.hpp"
#include "scan.hpp"
#include "verbs.hpp"

namespace imgtool {
namespace {

const char* fault_text(image::header_fault fault) {
    switch (fault) {
        case image::header_fault::none:
            return "";
        case image::header_fault::wraps:
            return "its size passes 32 bits";
        case image::header_fault::short_v3_header:
            return "version-3 header length below 24";
        case image::header_fault::total_too_small:
            return "total below 4 bytes";
        case image::header_fault::header_beyond_total:
            return "header length beyond the total";
        case image::header_fault::past_end:
            return "runs past the end of the file";
    }
    return "";
}

struct record_info {
    std::uint16_t type;
    std::uint32_t length;
    std::string text;  // for the table
};

struct row {
    const image::subimage_ref* sub = nullptr;
    bool crc_good = false;
    bool signature = false;
    std::vector<record_info> records;
    image::record_end records_end = image::record_end::complete;
};

row describe(int fd, const image::subimage_ref& sub, bool& read_ok) {
    row r;
    r.sub = &sub;
    std::vector<std::uint8_t> bytes;
    if (sub.fault != image::header_fault::none) {
        return r;
    }
    if (!image::read_subimage(fd, sub, bytes)) {
        read_ok = false;
        return r;
    }
    r.crc_good = image::image_crc_mismatch(std::span(bytes).subspan(4), sub.header.crc) == 0;
    if (sub.header.header_version != 3) {
        return r;
    }
    const auto header = std::span(bytes).first(sub.header.header_length);
    image::record_walk walk(header);
    while (const auto rec = walk.next()) {
        record_info info{rec->type, static_cast<std::uint32_t>(rec->body.size() + 4), {}};
        char text[48];
        if (rec->type == image::record_alternative_type && rec->body.size() >= 4) {
            const std::uint32_t code = (std::uint32_t{rec->body[0]} << 24) |
                                       (std::uint32_t{rec->body[1]} << 16) |
                                       (std::uint32_t{rec->body[2]} << 8) | rec->body[3];
            std::snprintf(text, sizeof text, "alt=%s", type_label(code).c_str());
        } else if (rec->type == image::record_signature) {
            const auto sig = image::signature_bytes(rec->body);
            std::snprintf(text, sizeof text, sig ? "sig=%zu" : "sig=malformed",
                          sig ? sig->size() : std::size_t{0});
        } else {
            std::snprintf(text, sizeof text, "type%u(%u)", unsigned{rec->type},
                          static_cast<unsigned>(info.length));
        }
        info.text = text;
        r.records.push_back(std::move(info));
    }
    r.records_end = walk.end();
    const auto body = image::find_signature_record(header);
    r.signature = body && image::signature_bytes(*body);
    return r;
}

std::string records_text(const row& r) {
    std::string text;
    for (const auto& rec : r.records) {
        text += (text.empty() ? "" : ",") + rec.text;
    }
    if (r.records_end == image::record_end::bad_length) {
        text += text.empty() ? "bad-record-length" : ",bad-record-length";
    } else if (r.records_end == image::record_end::overrun) {
        text += text.empty() ? "record-overrun" : ",record-overrun";
    }
    return text.empty() ? "-" : text;
}

void print_table(const std::vector<row>& rows, const bundle_scan& scan) {
    std::printf("%-3s %-10s %-12s %-3s %-15s %-7s %-10s %-4s %-3s %s\n", "#", "offset", "type",
                "hdr", "version", "header", "payload", "crc", "sig", "records");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        const auto& h = r.sub->header;
        if (r.sub->fault != image::header_fault::none) {
            std::printf("%-3zu 0x%08llx invalid header: %s\n", i,
                        static_cast<unsigned long long>(r.sub->offset), fault_text(r.sub->fault));
            continue;
        }
        std::printf("%-3zu 0x%08llx %-12s %-3u %-15s %-7u %-10u %-4s %-3s %s\n", i,
                    static_cast<unsigned long long>(r.sub->offset), type_label(h.type()).c_str(),
                    unsigned{h.header_version}, image::version_text(h.version).data(),
                    static_cast<unsigned>(h.header_length), static_cast<unsigned>(h.payload_length),
                    r.crc_good ? "good" : "bad", r.signature ? "yes" : "no",
                    records_text(r).c_str());
    }
    if (scan.trailing_bytes != 0) {
        std::printf("%llu trailing bytes\n", static_cast<unsigned long long>(scan.trailing_bytes));
    }
}

std::string json_string(std::string_view s) {
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void print_json(const std::string& path, const std::vector<row>& rows, const bundle_scan& scan) {
    std::printf("{\"file\":%s,\"subimages\":[", json_string(path).c_str());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        const auto& h = r.sub->header;
        std::printf("%s{\"index\":%zu,\"offset\":%llu,", i ? "," : "", i,
                    static_cast<unsigned long long>(r.sub->offset));
        if (r.sub->fault != image::header_fault::none) {
            std::printf("\"error\":%s}", json_string(fault_text(r.sub->fault)).c_str());
            continue;
        }
        std::printf(
            "\"type\":%u,\"type_name\":%s,\"header_version\":%u,\"version\":\"%s\","
            "\"header_length\":%u,\"payload_length\":%u,\"crc\":%u,\"crc_good\":%s,"
            "\"signature\":%s,\"records\":[",
            static_cast<unsigned>(h.type()), json_string(type_label(h.type())).c_str(),
            unsigned{h.header_version}, image::version_text(h.version).data(),
            static_cast<unsigned>(h.header_length), static_cast<unsigned>(h.payload_length),
            static_cast<unsigned>(h.crc), r.crc_good ? "true" : "false",
            r.signature ? "true" : "false");
        for (std::size_t k = 0; k < r.records.size(); ++k) {
            std::printf("%s{\"type\":%u,\"length\":%u}", k ? "," : "", unsigned{r.records[k].type},
                        static_cast<unsigned>(r.records[k].length));
        }
        std::printf("],\"records_complete\":%s}",
                    r.records_end == image::record_end::complete ? "true" : "false");
    }
    std::printf("],\"trailing_bytes\":%llu}\n",
                static_cast<unsigned long long>(scan.trailing_bytes));
}

int run(arguments args) {
    bool json = false;
    std::optional<std::string> path;
    for (const auto a : args) {
        if (a == "--json") {
            json = true;
        } else if (!path && !a.starts_with("-")) {
            path = std::string(a);
        } else {
            std::fprintf(stderr, "imgtool: info wants BUNDLE [--json] (see imgtool info --help)\n");
            return exit_usage;
        }
    }
    if (!path) {
        std::fprintf(stderr, "imgtool: info wants BUNDLE\n");
        return exit_usage;
    }
    const unique_fd fd = open_input(*path);
    if (!fd) {
        return exit_failure;
    }
    const bundle_scan scan = scan_bundle(fd.get());
    bool read_ok = !scan.read_error;
    std::vector<row> rows;
    for (const auto& sub : scan.subimages) {
        rows.push_back(describe(fd.get(), sub, read_ok));
    }
    if (!read_ok) {
        std::fprintf(stderr, "imgtool: cannot read %s\n", path->c_str());
        return exit_failure;
    }
    if (json) {
        print_json(*path, rows, scan);
    } else {
        print_table(rows, scan);
    }
    bool sound = true;
    for (const auto& r : rows) {
        sound = sound && r.crc_good && r.records_end == image::record_end::complete;
    }
    return sound ? exit_ok : exit_failure;
}

}  // namespace

const verb info_verb = {
    "info",
    "BUNDLE [--json]",
    "list the sub-images of a bundle with their CRC status",
    "One row per sub-image: offset, type, header version, version, header and payload\n"
    "length, CRC (good or bad), signature present, header records. A header whose lengths\n"
    "describe no sub-image is listed as invalid and ends the listing. --json prints one\n"
    "JSON object instead. Exit status 1 when any sub-image is damaged or invalid.\n",
    run,
};

}  // namespace imgtool
