#include "rescue/xmodem_protocol.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using rescue::ACK;
using rescue::CAN;
using rescue::EOT;
using rescue::NAK;
using rescue::SOH;
using rescue::STX;

// The sender's side of a scripted transfer: each time the receiver sends the byte a step
// expects, the step's reply arrives. Nothing queued means the line stays quiet until the
// receiver's wait runs out.
struct Step {
    std::uint8_t on;
    Bytes reply;
};

class ScriptedPort {
public:
    explicit ScriptedPort(std::vector<Step> script) : script_(std::move(script)) {}

    void put(std::uint8_t byte) {
        sent_.push_back(static_cast<char>(byte));
        if (next_ < script_.size() && script_[next_].on == byte) {
            const Bytes& reply = script_[next_++].reply;
            line_.insert(line_.end(), reply.begin(), reply.end());
        } else if (sent_.size() > 64) {
            // A receiver that left the script would ask for data for ever.
            line_.assign({CAN, CAN});
        }
    }
    int get(unsigned /*seconds*/, std::uint8_t* byte) {
        if (line_.empty()) {
            return -1;
        }
        *byte = line_.front();
        line_.pop_front();
        return 1;
    }
    void purge() { line_.clear(); }
    const std::string& sent() const { return sent_; }

private:
    std::vector<Step> script_;
    std::size_t next_ = 0;
    std::deque<std::uint8_t> line_;
    std::string sent_;
};

struct MemorySink {
    Bytes data;
    bool write(std::span<const std::uint8_t> bytes) {
        data.insert(data.end(), bytes.begin(), bytes.end());
        return true;
    }
};

Bytes payload(std::size_t size, std::uint8_t seed) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<std::uint8_t>('a' + (seed + i) % 26);
    }
    return data;
}

struct Fault {
    int complement_delta = 0;
    bool bad_crc = false;
    bool no_crc = false;
};

Bytes block(std::uint8_t number, const Bytes& data, Fault fault = {}) {
    Bytes out{data.size() == 1024 ? STX : SOH, number,
              static_cast<std::uint8_t>(255 - number + fault.complement_delta)};
    out.insert(out.end(), data.begin(), data.end());
    std::uint16_t crc = rescue::crc16_xmodem(data);
    if (fault.bad_crc) {
        crc ^= 0x0100;
    }
    if (!fault.no_crc) {
        out.push_back(static_cast<std::uint8_t>(crc >> 8));
        out.push_back(static_cast<std::uint8_t>(crc));
    }
    return out;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

const Bytes A = payload(128, 0);
const Bytes B = payload(128, 7);
const Bytes K = payload(1024, 3);
const Bytes Eot{EOT};

struct Case {
    const char* name;
    std::vector<Step> script;
    std::string sent;  // what the receiver answered, in order
    Bytes file;
    std::string messages;  // standard error: "All done" only after a completed transfer
};

class XmodemStream : public testing::TestWithParam<Case> {};

TEST_P(XmodemStream, AnswersAndWritesAsTheProtocolSays) {
    const Case& c = GetParam();
    ScriptedPort port(c.script);
    MemorySink sink;
    testing::internal::CaptureStderr();
    const auto outcome = rescue::XmodemReceiver(port, sink).run();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.messages);
    EXPECT_EQ(port.sent(), c.sent);
    EXPECT_EQ(outcome.completed, c.messages.ends_with("All done\n"));
    EXPECT_EQ(sink.data, c.file);
    EXPECT_EQ(outcome.total, c.file.size());
}

const std::string done = "EOT\nAll done\n";
const Bytes noise{'x', 'y', 0xFF};
const std::string cancel(5, CAN);

INSTANTIATE_TEST_SUITE_P(
    Streams, XmodemStream,
    testing::Values(
        Case{"mixed_block_sizes_after_noise_and_eot_handshake",
             {{'C', join({noise, block(1, K)})}, {ACK, block(2, A)}, {ACK, Eot}, {NAK, Eot}},
             std::string{'C', ACK, ACK, NAK, ACK},
             join({K, A}),
             done},
        Case{"silence_after_eot_ends_with_an_empty_file",
             {{'C', Eot}},
             std::string{'C', NAK, ACK},
             {},
             done},
        Case{"each_error_before_data_asks_for_crc_again",
             {{'C', block(1, A, {.complement_delta = 1})},
              {'C', block(0, A)},
              {'C', {ACK}},
              {'C', {CAN}},
              {'C', {}},
              {'C', block(1, A)},
              {ACK, Eot}},
             std::string{'C', 'C', 'C', 'C', 'C', 'C', ACK, NAK, ACK},
             A,
             "CAN\n" + done},
        Case{"double_can_before_data_cancels", {{'C', {CAN, CAN}}}, 'C' + cancel, {}, "CAN\n"},
        Case{"can_with_high_bit_counts_as_second_can",
             {{'C', {CAN, CAN | 0x80}}},
             'C' + cancel,
             {},
             "CAN\n"},
        Case{"bad_crc_and_complement_are_refused_until_a_good_block_resets_the_retries",
             {{'C', block(1, A)},
              {ACK, block(2, B, {.bad_crc = true})},
              {NAK, block(2, B, {.complement_delta = 2})},
              {NAK, block(2, B)},
              {ACK, {}},
              {NAK, {}},
              {NAK, Eot}},
             std::string{'C', ACK, NAK, NAK, ACK, NAK, NAK, NAK, ACK},
             join({A, B}),
             done},
        Case{"repeated_block_is_acknowledged_not_written",
             {{'C', block(1, A)}, {ACK, block(1, A)}, {ACK, block(2, B)}, {ACK, Eot}},
             std::string{'C', ACK, ACK, ACK, NAK, ACK},
             join({A, B}),
             done},
        Case{"out_of_order_block_cancels_at_once",
             {{'C', block(1, A)}, {ACK, block(3, B)}},
             std::string{'C', ACK} + cancel,
             A,
             ""},
        Case{"blocks_cut_short_are_errors_and_the_third_error_cancels",
             {{'C', block(1, A)},
              {ACK, {SOH, 2}},
              {NAK, {SOH, 2, 253}},
              {NAK, block(2, B, {.no_crc = true})}},
             std::string{'C', ACK, NAK, NAK} + cancel,
             A,
             ""},
        Case{"other_byte_after_eot_counts_a_retry",
             {{'C', block(1, A)}, {ACK, Eot}, {NAK, {'x'}}, {NAK, Eot}, {NAK, Eot}},
             std::string{'C', ACK, NAK, NAK, NAK, ACK},
             A,
             "EOT\n" + done},
        Case{"block_after_first_eot_is_dropped",
             {{'C', block(1, A)}, {ACK, Eot}, {NAK, block(2, B)}, {NAK, block(2, B)}, {ACK, Eot}},
             std::string{'C', ACK, NAK, NAK, ACK, NAK, ACK},
             join({A, B}),
             "EOT\n" + done}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
