// The receiving side of XMODEM-1K with CRC, over any byte port and into any sink, so the same
// protocol runs on the serial console and against scripted streams.
//
// Port: void put(std::uint8_t); int get(unsigned seconds, std::uint8_t*) giving 1 or -1 on a
// time-out; void purge(). Sink: bool write(std::span<const std::uint8_t>).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>

#include "rescue/crc16.hpp"

namespace rescue {

inline constexpr std::uint8_t SOH = 0x01;
inline constexpr std::uint8_t STX = 0x02;
inline constexpr std::uint8_t EOT = 0x04;
inline constexpr std::uint8_t ACK = 0x06;
inline constexpr std::uint8_t NAK = 0x15;
inline constexpr std::uint8_t CAN = 0x18;
inline constexpr std::uint8_t CRC_REQUEST = 'C';

struct XmodemOutcome {
    bool completed = false;   // ended by the sender's EOT; otherwise cancelled
    std::uint32_t total = 0;  // bytes written, padding of the last block included
};

template <typename Port, typename Sink>
class XmodemReceiver {
public:
    // Holds both by reference, for the receiver's lifetime.
    XmodemReceiver(Port& port, Sink& sink) : port_(port), sink_(sink) {}

    // One transfer: asks for CRC mode, again after each silent second until the first block
    // arrives, with no time limit; then hands each good block to the sink in order, once.
    // Completed after the sender's second EOT (or silence after the first). Cancelled, with five
    // CANs sent and the line drained, after two CANs from the sender, three failed tries of one
    // block once data has flowed, a block out of sequence, or a sink failure. Notes EOT, CAN and
    // "All done" on standard error.
    XmodemOutcome run() {
        port_.purge();
        port_.put(CRC_REQUEST);
        for (;;) {
            Step step = receive_one();
            if (step == Step::ended) {
                port_.put(ACK);
                std::fputs("All done\n", stderr);
                return {true, total_};
            }
            if (step == Step::error || step == Step::error_after_eot) {
                step = recover(step == Step::error_after_eot);
            }
            if (step == Step::abort) {
                cancel();
                return {false, total_};
            }
        }
    }

private:
    enum class Step { next, error, error_after_eot, abort, ended };

    static constexpr unsigned kRetryLimit = 3;

    Step receive_one() {
        std::uint8_t header = 0;
        if (!wait_header(header)) {
            return Step::error;
        }
        switch (header) {
            case EOT:
                return on_eot();
            case CAN:
                return on_cancel();
            case ACK:
                return Step::error;
            default:
                return on_block(header == STX ? 1024 : 128);
        }
    }

    bool wait_header(std::uint8_t& header) {
        for (;;) {
            if (port_.get(header_timeout_, &header) != 1) {
                return false;
            }
            if (header == SOH || header == STX || header == EOT) {
                return true;
            }
            if (!started_ && (header == ACK || header == CAN)) {
                return true;
            }
        }
    }

    // The first EOT is refused so that a line glitch cannot end the transfer.
    Step on_eot() {
        std::fputs("EOT\n", stderr);
        port_.purge();
        port_.put(NAK);
        std::uint8_t next = 0;
        if (port_.get(5, &next) != 1 || next == EOT) {
            return Step::ended;
        }
        if (next == SOH || next == STX || (!started_ && (next == ACK || next == CAN))) {
            return Step::next;
        }
        return Step::error_after_eot;
    }

    // Two CANs in a row are the sender giving up before any data; one alone may be noise.
    Step on_cancel() {
        std::fputs("CAN\n", stderr);
        std::uint8_t next = 0;
        if (port_.get(3, &next) == 1 && (next & 0x7F) == CAN) {
            return Step::abort;
        }
        return Step::error;
    }

    Step on_block(std::size_t size) {
        if (!started_) {
            retries_ = 0;
            header_timeout_ = 5;
        }
        std::uint8_t number = 0;
        std::uint8_t complement = 0;
        if (port_.get(3, &number) != 1 || port_.get(3, &complement) != 1) {
            return Step::error;
        }
        if (number + complement != 0xFF) {
            return Step::error;
        }
        if (number == static_cast<std::uint8_t>(last_good_ + 1)) {
            return on_next_block(number, size);
        }
        if (number == 0 && !started_) {
            return Step::error;
        }
        if (number == last_good_) {
            // The sender missed our ACK: take the copy off the line and acknowledge again.
            port_.purge();
            drain(1);
            port_.put(ACK);
            return Step::next;
        }
        return Step::abort;
    }

    Step on_next_block(std::uint8_t number, std::size_t size) {
        std::size_t got = 0;
        while (got < size && port_.get(1, &block_[got]) == 1) {
            ++got;
        }
        if (got == 0) {
            return Step::error;
        }
        std::uint8_t high = 0;
        std::uint8_t low = 0;
        if (port_.get(3, &high) != 1 || port_.get(3, &low) != 1) {
            return Step::error;
        }
        const std::span<const std::uint8_t> data(block_.data(), got);
        if (((high << 8) | low) != crc16_xmodem(data)) {
            return Step::error;
        }
        if (!sink_.write(data)) {
            return Step::abort;
        }
        retries_ = 0;
        total_ += static_cast<std::uint32_t>(got);
        started_ = true;
        last_good_ = number;
        port_.purge();
        port_.put(ACK);
        return Step::next;
    }

    Step recover(bool after_eot) {
        if (!started_) {
            if (!after_eot) {
                port_.put(CRC_REQUEST);
            }
            return Step::next;
        }
        if (++retries_ >= kRetryLimit) {
            return Step::abort;
        }
        port_.purge();
        drain(2);
        port_.put(NAK);
        return Step::next;
    }

    void cancel() {
        for (int i = 0; i < 5; ++i) {
            port_.put(CAN);
        }
        port_.purge();
        drain(2);
    }

    // Reads and drops bytes until the line has been quiet for the given time.
    void drain(unsigned seconds) {
        std::uint8_t byte = 0;
        while (port_.get(seconds, &byte) == 1) {
        }
    }

    Port& port_;
    Sink& sink_;
    std::array<std::uint8_t, 1024> block_{};
    std::uint8_t last_good_ = 0;
    unsigned header_timeout_ = 1;
    unsigned retries_ = 0;
    bool started_ = false;
    std::uint32_t total_ = 0;
};

}  // namespace rescue
