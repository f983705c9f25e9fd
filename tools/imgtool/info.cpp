// imgtool info: one row per sub-image of a bundle or flash dump, as a table or as JSON.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "files.hpp"
#include "image/records.hpp"
#include "keys.hpp"
#include "names.hpp"
#include "scan.hpp"
#include "subimages.hpp"
#include "verb_support.hpp"
#include "verbs.hpp"

namespace imgtool {
namespace {

struct record_info {
    std::uint16_t type;
    std::uint32_t length;
    std::string text;  // for the table
};

struct row {
    const image::subimage_ref* sub = nullptr;
    subimage_pass pass;
    image::header_signature::kind signature = image::header_signature::kind::unsigned_image;
    const public_key* signer = nullptr;  // with --key: the key that accepts the signature
    std::vector<record_info> records;
    image::record_end records_end = image::record_end::complete;
};

void describe_records(row& r) {
    if (r.sub->header.header_version != 3) {
        return;
    }
    image::record_walk walk(r.pass.header);
    while (const auto rec = walk.next()) {
        record_info info{rec->type, static_cast<std::uint32_t>(rec->body.size() + 4), {}};
        char text[48];
        if (rec->type == image::record_alternative_type && rec->body.size() >= 4) {
            const std::uint32_t code = (std::uint32_t{rec->body[0]} << 24) |
                                       (std::uint32_t{rec->body[1]} << 16) |
                                       (std::uint32_t{rec->body[2]} << 8) | rec->body[3];
            std::snprintf(text, sizeof text, "alt=%s", tools::type_label(code).c_str());
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

std::string signer_text(const row& r) {
    switch (r.signature) {
        case image::header_signature::kind::unsigned_image:
            return "unsigned";
        case image::header_signature::kind::malformed:
            return "signature records malformed";
        case image::header_signature::kind::signed_image:
            break;
    }
    if (!r.signer) {
        return "signature rejected by every key";
    }
    return "signature verified with " + r.signer->path + (r.signer->sample ? " (sample key)" : "");
}

void print_table(const std::vector<row>& rows, const bundle_scan& scan, bool with_keys) {
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
                    static_cast<unsigned long long>(r.sub->offset),
                    tools::type_label(h.type()).c_str(), unsigned{h.header_version},
                    image::version_text(h.version).data(), static_cast<unsigned>(h.header_length),
                    static_cast<unsigned>(h.payload_length), r.pass.crc_good ? "good" : "bad",
                    r.signature == image::header_signature::kind::signed_image ? "yes" : "no",
                    records_text(r).c_str());
        std::printf("    sha256 %s\n", hex(r.pass.sha256).c_str());
        if (with_keys) {
            std::printf("    %s\n", signer_text(r).c_str());
        }
    }
    if (scan.end == bundle_end::erased_flash || scan.end == bundle_end::zero_padding) {
        std::printf("end of bundle at 0x%08llx (%s)\n",
                    static_cast<unsigned long long>(scan.end_offset), scan.padding_name());
        if (scan.data_after_padding) {
            std::printf("data after the padding at 0x%08llx\n",
                        static_cast<unsigned long long>(*scan.data_after_padding));
        }
    } else if (scan.trailing_bytes() != 0) {
        std::printf("%llu trailing bytes\n",
                    static_cast<unsigned long long>(scan.trailing_bytes()));
    }
}

using json = nlohmann::ordered_json;

// JSON strings are Unicode; a path is bytes. A name that is not UTF-8 is given with each
// offending byte as U+FFFD under `key`, and exactly, in hexadecimal, under `key`_hex.
void put_path(json& object, const std::string& key, const std::string& path) {
    object[key] = path;
    try {
        (void)json(path).dump();
    } catch (const json::type_error&) {
        object[key + "_hex"] =
            hex({reinterpret_cast<const std::uint8_t*>(path.data()), path.size()});
    }
}

std::string hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(value));
    return text;
}

void print_json(const std::string& path, const std::vector<row>& rows, const bundle_scan& scan,
                bool with_keys) {
    json doc;
    put_path(doc, "file", path);
    doc["size"] = scan.size;
    json subimages = json::array();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        const auto& h = r.sub->header;
        json s;
        s["index"] = i;
        s["offset"] = r.sub->offset;
        if (r.sub->fault != image::header_fault::none) {
            s["error"] = fault_text(r.sub->fault);
            subimages.push_back(std::move(s));
            continue;
        }
        s["type"] = hex32(h.type());
        s["type_value"] = h.type();
        s["type_name"] = tools::type_label(h.type());
        s["header_version"] = h.header_version;
        s["version"] = image::version_text(h.version).data();
        s["header_length"] = h.header_length;
        s["payload_length"] = h.payload_length;
        s["crc"] = hex32(h.crc);
        s["crc_value"] = h.crc;
        s["crc_good"] = r.pass.crc_good;
        s["sha256"] = hex(r.pass.sha256);
        s["signature"] = r.signature == image::header_signature::kind::signed_image;
        if (with_keys) {
            if (r.signer) {
                put_path(s, "signed_by", r.signer->path);
                s["sample_key"] = r.signer->sample;
            } else {
                s["signed_by"] = nullptr;
            }
        }
        json records = json::array();
        for (const auto& rec : r.records) {
            records.push_back({{"type", rec.type}, {"length", rec.length}});
        }
        s["records"] = std::move(records);
        s["records_complete"] = r.records_end == image::record_end::complete;
        subimages.push_back(std::move(s));
    }
    doc["subimages"] = std::move(subimages);
    doc["trailing_bytes"] = scan.trailing_bytes();
    json end;
    end["offset"] = scan.end_offset;
    switch (scan.end) {
        case bundle_end::end_of_file:
            end["reason"] = "end of file";
            break;
        case bundle_end::faulty_header:
            end["reason"] = "invalid header";
            break;
        case bundle_end::erased_flash:
        case bundle_end::zero_padding:
            end["reason"] = scan.padding_name();
            if (scan.data_after_padding) {
                end["data_after_padding"] = *scan.data_after_padding;
            }
            break;
    }
    doc["end"] = std::move(end);
    std::printf("%s\n", doc.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
}

struct InfoArgs {
    std::string path;
    bool json = false;
    std::vector<std::string> key_paths;
};

int run(const InfoArgs& args) {
    const std::string& path = args.path;
    const auto& key_paths = args.key_paths;
    const bool json_output = args.json;
    std::vector<public_key> keys;
    if (!key_paths.empty() && !start_crypto()) {
        return exit_failure;
    }
    for (const auto& key_path : key_paths) {
        auto key = load_public_key(key_path);
        if (!key) {
            return exit_failure;
        }
        keys.push_back(std::move(*key));
    }
    const auto input = open_sized_input(path);
    if (!input) {
        return exit_failure;
    }
    const auto scan = scan_bundle(input->fd.get(), input->size, path);
    if (!scan || !is_bundle(*scan, path)) {
        return exit_failure;
    }
    std::vector<row> rows;
    bool sound = true;
    for (const auto& sub : scan->subimages) {
        row r;
        r.sub = &sub;
        if (sub.fault == image::header_fault::none) {
            auto pass = pass_subimage(input->fd.get(), sub, path);
            if (!pass) {
                return exit_failure;
            }
            r.pass = std::move(*pass);
            describe_records(r);
            const auto found = image::find_signature(r.pass.header);
            r.signature = found.what;
            if (found.what == image::header_signature::kind::signed_image) {
                r.signer = accepting_key(r.pass.sha256, found.signature, keys);
            }
        }
        sound = sound && r.pass.crc_good && r.records_end == image::record_end::complete;
        rows.push_back(std::move(r));
    }
    if (json_output) {
        print_json(path, rows, *scan, !keys.empty());
    } else {
        print_table(rows, *scan, !keys.empty());
    }
    return sound ? exit_ok : exit_failure;
}

}  // namespace

Verb add_info(CLI::App& app) {
    auto i = std::make_shared<InfoArgs>();
    CLI::App* const sub = verb(
        app, "info", "Lists the sub-images of a bundle or flash dump with their CRC status.",
        "One row per sub-image: offset, type, header version, version, header and payload\n"
        "length, CRC (good or bad), signature present, header records; below it the payload's\n"
        "SHA-256 and, with --key (repeatable), which key verifies its signature, as verify\n"
        "checks it. A header whose lengths describe no sub-image is listed as invalid and ends\n"
        "the listing. A flash dump ends at erased flash (0xFF) or zeros where a header would\n"
        "start: \"end of bundle at 0x... (erased flash)\" or \"(zero padding)\".\n"
        "--json prints one JSON object instead: type and crc as \"0x%08x\" strings with\n"
        "type_value and crc_value beside them as numbers. A path that is not UTF-8 is given\n"
        "with U+FFFD for each offending byte, and exactly as hexadecimal bytes in file_hex\n"
        "(signed_by_hex).\n"
        "Exit status: 0 every sub-image sound, 1 any sub-image damaged or invalid, or the file\n"
        "no bundle, 2 usage error.");
    sub->add_option("BUNDLE", i->path, "a bundle or flash dump")->required()->type_name("");
    sub->add_flag("--json", i->json, "one JSON object instead of the table");
    sub->add_option("--key", i->key_paths, "say which of these keys verifies each signature")
        ->type_name("PUBLIC.pem")
        ->allow_extra_args(false);
    return {sub, [i] { return run(*i); }};
}

}  // namespace imgtool
