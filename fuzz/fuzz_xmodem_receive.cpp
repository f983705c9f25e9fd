// The input is what a sender puts on the line, in turns: each time the receiver sends a byte,
// the next turn arrives (two bytes of length, high first, then that many bytes; the last turn
// takes what is left). A purge drops what has arrived and not been read; an empty line is a
// time-out. Once the input is used up, the line answers the receiver with a double CAN, as a
// sender that gives up would, so that a receiver still waiting for its first block ends too.
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <span>
#include <vector>

#include "rescue/xmodem_protocol.hpp"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

class FuzzLine {
public:
    explicit FuzzLine(std::span<const std::uint8_t> input) : input_(input) {}

    void put(std::uint8_t) {
        ++puts_;
        if (input_.empty()) {
            line_.insert(line_.end(), {rescue::CAN, rescue::CAN});
            return;
        }
        std::size_t length = input_.size();
        if (input_.size() >= 2) {
            length = std::min<std::size_t>(input_.size() - 2, input_[0] << 8 | input_[1]);
            input_ = input_.subspan(2);
        }
        line_.insert(line_.end(), input_.begin(), input_.begin() + static_cast<long>(length));
        input_ = input_.subspan(length);
    }
    int get(unsigned, std::uint8_t* byte) {
        ++gets_;
        if (line_.empty()) {
            return -1;
        }
        *byte = line_.front();
        line_.pop_front();
        return 1;
    }
    void purge() { line_.clear(); }

    // Every call either reads a byte of the input, sends, or times out: a bound on all three
    // shows that the receiver neither spins nor waits for ever.
    std::size_t calls() const { return puts_ + gets_; }

private:
    std::span<const std::uint8_t> input_;
    std::deque<std::uint8_t> line_;
    std::size_t puts_ = 0;
    std::size_t gets_ = 0;
};

struct MemorySink {
    std::vector<std::uint8_t> data;
    std::size_t writes = 0;
    bool write(std::span<const std::uint8_t> bytes) {
        require(!bytes.empty() && bytes.size() <= 1024);
        data.insert(data.end(), bytes.begin(), bytes.end());
        ++writes;
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzLine line({data, size});
    MemorySink sink;
    const rescue::XmodemOutcome outcome = rescue::XmodemReceiver(line, sink).run();
    require(outcome.total == sink.data.size());
    // Each accepted block took at least a header, number, complement, one byte and the CRC.
    require(sink.data.size() <= size);
    require(sink.writes * 6 <= size);
    require(line.calls() <= 4 * size + 64);
    return 0;
}
