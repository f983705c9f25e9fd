// The one way tests set the process-wide flags: a ScopedFlags sets those named and puts every
// flag back when it goes out of scope, so no test leaks a flag into the next.
#pragma once

#include <csignal>
#include <cstdint>
#include <optional>

#include "sys/flags.hpp"

namespace testflags {

// A flag left empty keeps its current value.
struct FlagValues {
    std::optional<std::sig_atomic_t> interrupted{};
    std::optional<std::uint8_t> usb_enabled{};
    std::optional<std::uint8_t> second_attempt{};
    std::optional<std::uint32_t> gdb_mode{};
    std::optional<std::uint32_t> gdbserver_mode{};
    std::optional<std::int32_t> gdb_port{};
    std::optional<std::uint8_t> shell_mode{};
    std::optional<std::uint8_t> memchk_mode{};
    std::optional<std::uint32_t> rescue_requested{};
    std::optional<std::uint32_t> diags_requested{};
    std::optional<std::uint32_t> lowsec_override{};
};

// Every flag as the process starts.
inline const FlagValues start_values{.interrupted = 0,
                                     .usb_enabled = 0,
                                     .second_attempt = 0,
                                     .gdb_mode = 0,
                                     .gdbserver_mode = 0,
                                     .gdb_port = 1234,
                                     .shell_mode = 0,
                                     .memchk_mode = 0,
                                     .rescue_requested = 0,
                                     .diags_requested = 0,
                                     .lowsec_override = 0};

class ScopedFlags {
public:
    explicit ScopedFlags(const FlagValues& values) : saved_(current()) { apply(values); }
    ScopedFlags(const ScopedFlags&) = delete;
    ScopedFlags& operator=(const ScopedFlags&) = delete;
    ~ScopedFlags() { apply(saved_); }

private:
    static FlagValues current() {
        return {::interrupted,      ::usb_enabled,     ::second_attempt, ::gdb_mode,
                ::gdbserver_mode,   ::gdb_port,        ::shell_mode,     ::memchk_mode,
                ::rescue_requested, ::diags_requested, ::lowsec_override};
    }
    template <typename T, typename U>
    static void set(const std::optional<T>& value, U& flag) {
        if (value) {
            flag = *value;
        }
    }
    static void apply(const FlagValues& v) {
        set(v.interrupted, ::interrupted);
        set(v.usb_enabled, ::usb_enabled);
        set(v.second_attempt, ::second_attempt);
        set(v.gdb_mode, ::gdb_mode);
        set(v.gdbserver_mode, ::gdbserver_mode);
        set(v.gdb_port, ::gdb_port);
        set(v.shell_mode, ::shell_mode);
        set(v.memchk_mode, ::memchk_mode);
        set(v.rescue_requested, ::rescue_requested);
        set(v.diags_requested, ::diags_requested);
        set(v.lowsec_override, ::lowsec_override);
    }

    FlagValues saved_;
};

}  // namespace testflags
