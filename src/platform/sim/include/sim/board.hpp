// The simulated board's state, for tests and host tools. Production code never includes this.
//
// A board is a directory ROOT; everything the emulators keep lives in ROOT/sim/:
//
//   board.conf         text, one `key = value` per line, '#' starts a comment (keys below)
//   flash/<name>.bin   one file per MTD partition, plain content, erased = 0xFF
//   eeprom.bin         the settings EEPROM (8192 bytes, erased = 0xFF)
//   cpld.bin           the CPLD register window behind /dev/mem (256 bytes)
//   led.bin, port.bin  register files of the LED controller and the port device (256 bytes)
//   led.log            one line per LED register write: "<seconds>.<micros> 0x<reg> 0x<value>"
//   clock              elapsed virtual time in microseconds, decimal, one line
//   wear/<name>        per partition: "program-without-erase N" then "erases C0 C1 ..." (per block)
//   power-events       the events a power cut counts (below), as far as the last boot with one
//                      got: a sweep of cut points runs the install once to read it
//   journal.log        not ours: the board's stub tools append to it
//
// board.conf keys (numbers are decimal or 0x-hex):
//   <partition>.size        partition size in bytes           (partition = uboot ubootenv
//   <partition>.erase_size  erase block size in bytes          devicetree kernel rfs rescue onie)
//   rtc.base                "YYYY-MM-DD hh:mm:ss": what the clock shows at virtual time 0
//   rtc.host_clock          1 = the clock shows the host's UTC time instead (default 0)
//   rtc.control             seven bytes ORed into clock registers 0-6 (control bits),
//                           e.g. "0x80 0 0 0 0 0 0"
//   time.scale              real seconds per virtual second: 1 = real time, 0.001 for tests,
//                           0 = no real waiting at all
//   fault.missing           devices that are absent: bus0 bus1 eeprom rtc led port mem <partition>
//   fault.io                "<partition> <erase|program|read|any> <N>": the N-th such operation
//                           on the partition fails with EIO (any: erase or program; repeat the
//                           key for several)
//   fault.power_cut         N: the process ends with power_cut_exit_status at the N-th event
//                           of one count: a completed flash erase or program, or (in programs
//                           that link bm_platform_sim_cuts) a write call, an entry created,
//                           truncated, renamed or removed, or a file-changing shell command,
//                           under /user; a write call counts twice: cut during it (keeping half
//                           its bytes) and just after it. The fault then
//                           removes itself from board.conf
//
// Operation counts for faults start when a process loads the board (a boot) or when the fault
// plan is set in this process.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Exit status of a process whose board lost power.
inline constexpr int power_cut_exit_status = 97;

inline constexpr std::size_t eeprom_size = 8192;
inline constexpr std::size_t cpld_size = 256;

// The seven partitions, in the order of the boot manager's partition table.
inline constexpr std::array<std::string_view, 7> partition_names = {
    "uboot", "ubootenv", "devicetree", "kernel", "rfs", "rescue", "onie"};

struct PartitionGeometry {
    std::uint32_t size = 0;
    std::uint32_t erase_size = 0x10000;
};

struct IoFault {
    enum class Op { erase, program, read, any };  // any: an erase or a program
    std::string partition;
    Op op = Op::any;
    std::uint32_t nth = 1;
};

// A fault's operation as board.conf and boardsim's options write it ("erase", "program", "read",
// "any"), and back; nullopt for any other word.
const char* io_op_name(IoFault::Op op);
std::optional<IoFault::Op> io_op_from_name(std::string_view name);

struct FaultPlan {
    std::vector<IoFault> io_errors;
    std::uint32_t power_cut_after = 0;  // 0 = no power cut
    std::vector<std::string> missing;   // bus0 bus1 eeprom rtc led port mem <partition>
};

struct BoardConfig {
    // Indexed like partition_names.
    std::array<PartitionGeometry, 7> partitions = {{{0x80000, 0x10000},
                                                    {0x20000, 0x10000},
                                                    {0x40000, 0x10000},
                                                    {0x300000, 0x10000},
                                                    {0xF00000, 0x10000},
                                                    {0xA00000, 0x10000},
                                                    {0x100000, 0x10000}}};
    std::string rtc_base = "2026-01-01 00:00:00";
    bool rtc_host_clock = false;
    std::array<std::uint8_t, 7> rtc_control{};
    double time_scale = 0.001;
    FaultPlan faults;

    // Written into the EEPROM by create_board_state only (not kept in board.conf); unset fields
    // stay erased (0xFF). The serial is padded with zero bytes to its 12 bytes.
    std::optional<std::string> serial;
    std::optional<std::uint8_t> boot_slot;
    std::optional<std::uint8_t> booted_image;
    std::optional<std::uint8_t> usb_enable;
};

// Index of a partition name in partition_names, or nullopt.
std::optional<std::size_t> partition_index(std::string_view name);

// Writes ROOT/sim/ (board.conf, erased flash files, EEPROM, CPLD, register files, clock 0),
// creating the directories it needs. Existing state files are replaced. False on any failure,
// with a message on standard error.
bool create_board_state(const std::filesystem::path& root, const BoardConfig& config);

// Makes ROOT the board of this process ("/" until called) and forgets all cached state.
void use_board(const std::filesystem::path& root);
const std::filesystem::path& board_root();

// Why board.conf's reader refuses VALUE for KEY (e.g. "time.scale"), or CONFIG as a whole
// ("KEY = VALUE: reason"); empty when it accepts it. The writers below refuse the same.
std::string config_value_error(std::string_view key, std::string_view value);
std::string config_error(const BoardConfig& config);

// board.conf as a record; nullopt (and a message on standard error) when unreadable or invalid.
std::optional<BoardConfig> load_board_config(const std::filesystem::path& root);
bool save_board_config(const std::filesystem::path& root, const BoardConfig& config);

// Replaces the fault plan in board.conf; if ROOT is this process's board it applies at once.
bool set_fault_plan(const std::filesystem::path& root, const FaultPlan& plan);
bool clear_fault_plan(const std::filesystem::path& root);

// Whole-file inspection; nullopt when the file cannot be read.
std::optional<std::vector<std::uint8_t>> read_partition(const std::filesystem::path& root,
                                                        std::string_view name);
bool write_partition(const std::filesystem::path& root, std::string_view name,
                     const std::vector<std::uint8_t>& content);
std::optional<std::vector<std::uint8_t>> read_eeprom(const std::filesystem::path& root);
bool write_eeprom(const std::filesystem::path& root, std::uint32_t offset,
                  const std::vector<std::uint8_t>& bytes);
std::optional<std::vector<std::uint8_t>> read_cpld(const std::filesystem::path& root);
bool write_cpld(const std::filesystem::path& root, std::uint32_t offset, std::uint8_t value);
std::optional<std::vector<std::uint8_t>> read_port_registers(const std::filesystem::path& root);

struct LedWrite {
    std::uint64_t time_us = 0;
    std::uint8_t reg = 0;
    std::uint8_t value = 0;
    bool operator==(const LedWrite&) const = default;
};
std::vector<LedWrite> read_led_log(const std::filesystem::path& root);

struct FlashWear {
    std::uint64_t program_without_erase = 0;
    std::vector<std::uint32_t> erase_counts;  // one per erase block
};
// All zero (with the partition's block count) when nothing was counted yet.
std::optional<FlashWear> read_flash_wear(const std::filesystem::path& root, std::string_view name);

// Elapsed virtual time in microseconds.
std::uint64_t read_clock_us(const std::filesystem::path& root);

}  // namespace sim
