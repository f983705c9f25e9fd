#include "flash_map.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "image/header.hpp"
#include "names.hpp"
#include "subimage_checks.hpp"

namespace boardsim {
namespace {

constexpr double width = 1100;
constexpr double label_width = 170;
constexpr double bar_width = 880;
constexpr double row_height = 66;
constexpr double bar_height = 26;
constexpr double strip_height = 10;

// Names and titles come from folder names: anything outside printable ASCII would break the XML.
std::string xml_text(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c >= 0x20 && c < 0x7F ? c : '?';
        }
    }
    return out;
}

std::string size_label(std::uint64_t bytes) {
    char text[32];
    if (bytes >= (1 << 20)) {
        std::snprintf(text, sizeof text, "%.4g MiB", static_cast<double>(bytes) / (1 << 20));
    } else if (bytes >= 1024) {
        std::snprintf(text, sizeof text, "%.4g KiB", static_cast<double>(bytes) / 1024);
    } else {
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    }
    return text;
}

// Light grey for a block never erased, then yellow to dark red up to the board's highest count.
std::string heat(std::uint32_t count, std::uint32_t most) {
    if (count == 0) {
        return "#e5e7eb";
    }
    const double t = most <= 1 ? 1.0 : static_cast<double>(count - 1) / (most - 1);
    const auto mix = [t](int a, int b) { return static_cast<int>(a + (b - a) * t); };
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", mix(0xfd, 0x99), mix(0xe6, 0x1b),
                  mix(0x8a, 0x1b));
    return text;
}

const char* signature_words(signature_state state) {
    switch (state) {
        case signature_state::production:
            return "signed: production key";
        case signature_state::development:
            return "signed: development key";
        case signature_state::rejected:
            return "signature rejected";
        case signature_state::malformed:
            return "signature malformed";
        case signature_state::unsigned_image:
            break;
    }
    return "unsigned";
}

std::string subimage_label(const subimage_view& sub) {
    if (sub.fault != image::header_fault::none) {
        return "invalid header: " + std::string(tools::header_fault_text(sub.fault));
    }
    return tools::type_label(sub.header.type()) + " " +
           image::version_text(sub.header.version).data() + ", " + size_label(sub.header.total()) +
           ", crc " + (sub.crc_good ? "good" : "bad") + ", " + signature_words(sub.signature);
}

class drawing {
public:
    explicit drawing(double scale) : scale_(scale) {}

    void row(const content_view& view, const char* kind, double y, std::uint32_t most) {
        out_ << "<g class=\"row\">\n";
        text(12, y + 18, view.name, "bold");
        text(12, y + 34, view.present ? size_label(view.size) : "none", "small");
        if (view.present) {
            rect(kind, view.name, label_width, y + 4, std::max(view.size * scale_, 1.0), bar_height,
                 "#f8fafc", "#475569");
        }
        std::string what;
        for (const auto& sub : view.subimages) {
            const bool whole = sub.fault == image::header_fault::none;
            const double length =
                whole ? sub.header.total() : static_cast<double>(view.size - sub.offset);
            const char* fill = !whole ? "#f59e0b" : sub.crc_good ? "#22c55e" : "#ef4444";
            rect("subimage", subimage_label(sub), label_width + sub.offset * scale_, y + 6,
                 std::max(length * scale_, 2.0), bar_height - 4, fill, "#14532d");
            what += (what.empty() ? "" : "   |   ") + subimage_label(sub);
        }
        if (view.present && what.empty()) {
            what = view.rest_erased ? "empty (all bytes 0xFF)" : "no sub-image";
        }
        const double block = view.erase_size * scale_;
        for (std::size_t i = 0; i < view.erase_counts.size(); ++i) {
            rect("block", std::to_string(view.erase_counts[i]) + " erases",
                 label_width + static_cast<double>(i) * block, y + bar_height + 6,
                 block >= 3 ? block - 0.6 : std::max(block, 0.5), strip_height,
                 heat(view.erase_counts[i], most).c_str(), nullptr);
        }
        if (!view.erase_counts.empty()) {
            const auto [low, high] =
                std::minmax_element(view.erase_counts.begin(), view.erase_counts.end());
            what +=
                "   (" + std::to_string(view.erase_counts.size()) + " blocks, " +
                (*high == 0 ? "never erased"
                            : "erased " + std::to_string(*low) +
                                  (*high != *low ? "-" + std::to_string(*high) : "") + " times") +
                ")";
        }
        if (!what.empty()) {
            text(label_width, y + bar_height + strip_height + 22, what, "small");
        }
        out_ << "</g>\n";
    }

    void text(double x, double y, const std::string& words, const char* style) {
        out_ << "<text x=\"" << x << "\" y=\"" << y << "\" class=\"" << style << "\">"
             << xml_text(words) << "</text>\n";
    }

    void rect(const char* kind, const std::string& title, double x, double y, double w, double h,
              const char* fill, const char* stroke) {
        out_ << "<rect class=\"" << kind << "\" x=\"" << x << "\" y=\"" << y << "\" width=\"" << w
             << "\" height=\"" << h << "\" fill=\"" << fill << "\"";
        if (stroke != nullptr) {
            out_ << " stroke=\"" << stroke << "\" stroke-width=\"0.8\"";
        }
        out_ << "><title>" << xml_text(title) << "</title></rect>\n";
    }

    std::string body() const { return out_.str(); }

private:
    double scale_;
    std::ostringstream out_;
};

}  // namespace

bool write_flash_map(const board_view& board, const std::string& title,
                     const std::filesystem::path& file) {
    std::uint64_t largest = 1;
    std::uint32_t most = 0;
    for (const auto* group : {&board.partitions, &board.slots}) {
        for (const auto& view : *group) {
            largest = std::max(largest, view.size);
            for (const auto count : view.erase_counts) {
                most = std::max(most, count);
            }
        }
    }
    drawing d(bar_width / static_cast<double>(largest));
    double y = 20;
    d.text(12, y + 8, "Flash map of " + title + " (all rows on one scale)", "title");
    y += 24;
    d.text(12, y + 8, "Flash partitions", "heading");
    y += 16;
    for (const auto& view : board.partitions) {
        d.row(view, "partition", y, most);
        y += row_height;
    }
    d.text(12, y + 8, "Image slot files", "heading");
    y += 16;
    for (const auto& view : board.slots) {
        d.row(view, "slot", y, most);
        y += row_height;
    }
    y += 8;
    // Legend: sub-image colours and the erase-count scale.
    double x = 12;
    const std::pair<std::string, const char*> colours[] = {
        {"#22c55e", "sub-image, crc good"},
        {"#ef4444", "crc bad"},
        {"#f59e0b", "invalid header"},
        {"#e5e7eb", "block never erased"},
        {heat(1, std::max(most, 1u)), "erased once"}};
    std::ostringstream legend;
    for (const auto& [fill, words] : colours) {
        legend << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"14\" height=\"14\" fill=\""
               << fill << "\" stroke=\"#475569\" stroke-width=\"0.5\"/>\n<text x=\"" << x + 20
               << "\" y=\"" << y + 12 << "\" class=\"small\">" << words << "</text>\n";
        x += 40 + 7.2 * std::strlen(words);
    }
    if (most > 1) {
        legend << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"14\" height=\"14\" fill=\""
               << heat(most, most) << "\"/>\n<text x=\"" << x + 20 << "\" y=\"" << y + 12
               << "\" class=\"small\">erased " << most << " times</text>\n";
    }
    y += 30;

    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << y
        << "\" viewBox=\"0 0 " << width << " " << y << "\">\n"
        << "<style>text{font-family:DejaVu Sans,sans-serif;fill:#0f172a}"
           ".title{font-size:17px;font-weight:bold}.heading{font-size:14px;font-weight:bold}"
           ".bold{font-size:14px;font-weight:bold}.small{font-size:12px}</style>\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
        << d.body() << legend.str() << "</svg>\n";
    out.close();
    if (!out) {
        std::fprintf(stderr, "boardsim: cannot write %s: %s\n", file.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace boardsim
